#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <exception>
#include <utility>

#include "app/picture_box.h"
#include "app/program.h"
#include "app/program_parts.h"
#include "app/qt_interaction.h"
#include "camera/connection.h"
#include "config/settings_dialogs.h"
#include "config/startup.h"
#include "core/wait.h"
#include "exposure/program_shooting.h"
#include "exposure/program_window.h"
#include "exposure/series.h"
#include "exposure/single.h"
#include "fits/file_dialog.h"
#include "fits/save_folder_dialog.h"
#include "guiding/guide_lock.h"
#include "guiding/tracking_dialog.h"
#include "guiding/tracking_status_window.h"
#include "image/frame_display.h"
#include "image/histogram_window.h"
#include "image/profile_window.h"
#include "image/viewer_window.h"
#include "telescope/telescope_window.h"
#include "window_kit/window_support.h"

namespace stellacq {

namespace {

QString q(const std::string& text) { return QString::fromStdString(text); }

// Steps of the progress bar: tenths of a percent.
constexpr int kProgressSteps = 1000;

QLabel* label(const char* name, const char* caption) {
  auto* l = named(new QLabel(QString::fromUtf8(caption)), name);
  l->setAccessibleName(QString::fromUtf8(caption));
  return l;
}

QLineEdit* field(const char* name, const char* caption_of_label) {
  auto* f = named(new QLineEdit, name);
  f->setAccessibleName(QString::fromUtf8(caption_of_label));
  return f;
}

void set_text_if_changed(QLineEdit* edit, const std::string& text) {
  const QString value = q(text);
  if (edit->text() != value) edit->setText(value);
}

}  // namespace

Form1::Form1(Program& program, QtInteraction& ui, const std::string& start_dir)
    : p_(program), ui_(ui), start_dir_(start_dir), viewer_place_(std::make_shared<ViewerPlace>()) {
  named(this, "Form1");
  setWindowTitle(QStringLiteral(" STELLACQ ver2.4"));
  build_controls();
  build_menus();
  ui_.on_status = [this] {
    set_text_if_changed(Text7_, p_.form.Text7);
    Text7_->repaint();
  };
  ui_.on_fields = [this] { show_fields(); };
  ui_.on_picture = [this] {
    Picture1_->update();
    if (auto* viewer = qobject_cast<Form13*>(Form13_.data())) viewer->picture_changed();
  };
  ui_.on_progress = [this](const ExchangeProgress& progress) { show_progress(progress); };
  ui_.on_exchange_end = [this] { end_progress(); };
  ui_.on_exchange_input = [this](QObject* receiver, QEvent* event) {
    return exchange_input(receiver, event);
  };
  show_fields();
}

Form1::~Form1() {
  // The windows that stand on their own go with the main window.
  delete Form3_.data();
  delete Form8_.data();
  ui_.on_status = nullptr;
  ui_.on_fields = nullptr;
  ui_.on_picture = nullptr;
  ui_.on_progress = nullptr;
  ui_.on_exchange_end = nullptr;
  ui_.on_exchange_input = nullptr;
}

void Form1::build_controls() {
  auto* central = new QWidget;
  auto* outer = new QVBoxLayout(central);

  auto* top = new QHBoxLayout;
  auto* frame = new QFrame;
  frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* frame_layout = new QVBoxLayout(frame);
  frame_layout->setContentsMargins(1, 1, 1, 1);
  Picture1_ = named(new PictureBox(p_.picture), "Picture1");
  Picture1_->setAccessibleName(QStringLiteral("Picture1"));
  frame_layout->addWidget(Picture1_);
  top->addWidget(frame, 0, Qt::AlignTop);

  auto* grid = new QGridLayout;
  Text5_ = field("Text5", " ｼｬｯﾀｰ速度");
  Text6_ = field("Text6", "撮影間隔");
  Text3_ = field("Text3", "設定温度");
  Text4_ = field("Text4", "現在温度");
  for (QLineEdit* edit : {Text5_, Text6_, Text3_, Text4_}) edit->setMaximumWidth(80);
  grid->addWidget(label("Label7", " ｼｬｯﾀｰ速度"), 0, 0);
  grid->addWidget(Text5_, 0, 1);
  grid->addWidget(label("Label8", "sec"), 0, 2);
  grid->addWidget(label("Label9", "撮影間隔"), 1, 0);
  grid->addWidget(Text6_, 1, 1);
  grid->addWidget(label("Label10", "sec"), 1, 2);
  grid->addWidget(label("Label3", "設定温度"), 2, 0);
  grid->addWidget(Text3_, 2, 1);
  grid->addWidget(label("Label4", "℃"), 2, 2);
  grid->addWidget(label("Label5", "現在温度"), 3, 0);
  grid->addWidget(Text4_, 3, 1);
  grid->addWidget(label("Label6", "℃"), 3, 2);

  Option1_ = named(new QRadioButton(QStringLiteral(" ﾋﾞﾆﾝｸﾞ なし")), "Option1");
  Option2_ = named(new QRadioButton(QStringLiteral(" ﾋﾞﾆﾝｸﾞ  2x2")), "Option2");
  Check1_ = named(new QCheckBox(QStringLiteral(" 撮影後表示")), "Check1");
  for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{Option1_, Option2_, Check1_})
    b->setAccessibleName(b->text());
  grid->addWidget(Option1_, 4, 0, 1, 3);
  grid->addWidget(Option2_, 5, 0, 1, 3);
  grid->addWidget(Check1_, 6, 0, 1, 3);
  grid->setRowStretch(7, 1);
  top->addLayout(grid);
  outer->addLayout(top);

  Label1_ = value_label(new QLabel, "Label1");
  Label1_->setMinimumWidth(200);
  Text1_ = field("Text1", "日付と時刻");
  Text1_->setReadOnly(true);
  Text7_ = field("Text7", "ステータス");
  Text7_->setReadOnly(true);
  outer->addWidget(Label1_);
  outer->addWidget(Text1_);
  ProgressBar1_ = named(new QProgressBar, "ProgressBar1");
  ProgressBar1_->setAccessibleName(QStringLiteral("進行状況"));
  ProgressBar1_->setRange(0, kProgressSteps);
  ProgressBar1_->setMinimumWidth(200);
  ProgressBar1_->hide();
  AbortButton_ = captioned<QPushButton>("AbortButton", "中止");
  AbortButton_->setEnabled(false);
  // A click must not take the focus from the field being typed into; Esc is
  // the keyboard's way to abort.
  AbortButton_->setFocusPolicy(Qt::NoFocus);
  AbortButton_->setToolTip(QStringLiteral("撮影を中止します (Esc)"));
  auto* status_row = new QHBoxLayout;
  status_row->addWidget(Text7_, 1);
  status_row->addWidget(ProgressBar1_);
  status_row->addWidget(AbortButton_);
  outer->addLayout(status_row);
  setCentralWidget(central);

  // Typing into a field writes it into the program state at once; the
  // logic reads the fields from there.
  connect(Text5_, &QLineEdit::textEdited, this,
          [this](const QString& t) { p_.form.Text5 = t.toStdString(); });
  connect(Text6_, &QLineEdit::textEdited, this,
          [this](const QString& t) { p_.form.Text6 = t.toStdString(); });
  connect(Text3_, &QLineEdit::textEdited, this,
          [this](const QString& t) { p_.form.Text3 = t.toStdString(); });
  connect(Text4_, &QLineEdit::textEdited, this,
          [this](const QString& t) { p_.form.Text4 = t.toStdString(); });
  connect(Check1_, &QCheckBox::clicked, this, &Form1::Check1_Click);
  connect(Option1_, &QRadioButton::clicked, this, &Form1::Option1_Click);
  connect(Option2_, &QRadioButton::clicked, this, &Form1::Option2_Click);
  connect(Picture1_, &PictureBox::mouse_down, this, &Form1::Picture1_MouseDown);
  connect(Picture1_, &PictureBox::mouse_move, this, &Form1::Picture1_MouseMove);
  connect(AbortButton_, &QPushButton::clicked, this, &Form1::abort_frame);

  Timer1_ = new QTimer(this);
  Timer1_->setObjectName(QStringLiteral("Timer1"));
  Timer1_->setInterval(300);
  connect(Timer1_, &QTimer::timeout, this, &Form1::Timer1_Timer);
}

void Form1::show_fields() {
  const Form1Fields& f = p_.form;
  set_text_if_changed(Text1_, f.Text1);
  set_text_if_changed(Text3_, f.Text3);
  set_text_if_changed(Text4_, f.Text4);
  set_text_if_changed(Text5_, f.Text5);
  set_text_if_changed(Text6_, f.Text6);
  set_text_if_changed(Text7_, f.Text7);
  if (Label1_->text() != q(f.Label1)) Label1_->setText(q(f.Label1));
  Check1_->setChecked(f.Check1);
  Option1_->setChecked(f.Option1);
  Option2_->setChecked(f.Option2);
  actions_.at("image_menu_display_manual_range")->setText(q(f.range_caption));
  actions_.at("image_menu_display_manual_background")->setText(q(f.background_caption));
  actions_.at("exp_menu_grab_auto")->setEnabled(f.exp_menu_grab_auto_enabled);
  actions_.at("exp_menu_grab_auto_stop")->setEnabled(f.exp_menu_grab_auto_stop_enabled);
  if (auto* tracking_status = qobject_cast<Form6*>(Form6_.data())) tracking_status->show_values();
}

template <typename F>
void Form1::run(F&& logic) {
  if (exchange_running_) {
    deferred_.emplace_back(std::forward<F>(logic));
    return;
  }
  RunningHandler running(running_handlers_);
  try {
    logic();
  } catch (const std::exception& e) {
    ui_.message_box(std::string("内部エラー: ") + e.what(), {}, MessageButtons::Ok);
  } catch (...) {
    ui_.message_box("内部エラー", {}, MessageButtons::Ok);
  }
  show_fields();
}

void Form1::run_deferred() {
  std::vector<std::function<void()>> pending;
  pending.swap(deferred_);
  // A handler that starts an exchange of its own holds back the rest again,
  // in their order.
  for (std::function<void()>& logic : pending) run(std::move(logic));
}

void Form1::show_progress(const ExchangeProgress& progress) {
  exchange_running_ = true;
  const std::int64_t total = std::max<std::int64_t>(progress.total, 1);
  const std::int64_t done = std::clamp<std::int64_t>(progress.done, 0, total);
  ProgressBar1_->setValue(static_cast<int>(done * kProgressSteps / total));
  if (progress.kind == ExchangeKind::Exposure)
    ProgressBar1_->setFormat(QStringLiteral("露出 残り %1 秒").arg(seconds_left(progress)));
  else if (progress.kind == ExchangeKind::Move)
    ProgressBar1_->setFormat(QStringLiteral("望遠鏡移動 残り %1 秒").arg(seconds_left(progress)));
  else
    ProgressBar1_->setFormat(QStringLiteral("ダウンロード %p%"));
  ProgressBar1_->show();
  // A move of the mount is not a frame: it cannot be aborted here.
  AbortButton_->setEnabled(progress.kind != ExchangeKind::Move);
}

void Form1::end_progress() {
  exchange_running_ = false;
  ProgressBar1_->hide();
  AbortButton_->setEnabled(false);
  if (!deferred_.empty()) QTimer::singleShot(0, this, &Form1::run_deferred);
}

void Form1::abort_frame() {
  if (AbortButton_->isEnabled()) p_.exposure.abort.token.request();
}

InputVerdict Form1::exchange_input(QObject* receiver, QEvent* event) {
  if (!AbortButton_->isEnabled()) return InputVerdict::Hold;
  auto* widget = qobject_cast<QWidget*>(receiver);
  const bool to_this_window = receiver == windowHandle() || (widget && widget->window() == this);
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
      to_this_window) {
    abort_frame();
    return InputVerdict::Taken;
  }
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      // A press on the button, and what follows while it is held down.
      if (receiver == AbortButton_ || AbortButton_->isDown()) return InputVerdict::Deliver;
      const QPoint at = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
      if (receiver == windowHandle() && AbortButton_->rect().contains(AbortButton_->mapFromGlobal(at)))
        return InputVerdict::Deliver;
      return InputVerdict::Hold;
    }
    default:
      return InputVerdict::Hold;
  }
}

template <typename Dialog, typename... Args>
Dialog* Form1::open_dialog(QPointer<QWidget>& slot, Args&&... args) {
  return show_single<Dialog>(slot, nullptr, std::forward<Args>(args)..., this);
}

void Form1::open_file_dialog(int file_mode) {
  p_.file.file_mode = file_mode;
  show_single<Form3>(Form3_, nullptr, held_frames(p_), p_.file, status_line(p_), nullptr)
      ->set_operation(file_mode);
}

// ---- start and end ----

void Form1::Form_Load() {
  move(0, 0);
  StartupDialogs dialogs;
  run([&] {
    p_.form.Option1 = false;  // binning 2 x 2
    p_.form.Option2 = true;
    p_.form.Check1 = true;  // display after shooting
    p_.form.exp_menu_grab_auto_enabled = false;
    p_.form.exp_menu_grab_auto_stop_enabled = false;
    reset_run_flags(p_);
    dialogs = settings_startup(settings_file(p_), p_.ports, status_line(p_), start_dir_);
  });
  // Both port dialogs open without waiting; the parallel-port one in front.
  if (dialogs.open_com_dialog) config_menu_serial_Click();
  if (dialogs.open_parallel_dialog) config_menu_para_Click();
  Timer1_->start();
}

void Form1::Form_Unload() {
  if (Form3_) Form3_->close();
  end_program();
}

void Form1::end_program() {
  // Ends at once, without asking and without writing anything. A command
  // still running inside a handler would otherwise go on after the window
  // has gone.
  if (running_handlers_ > 0) std::exit(0);
  QApplication::quit();
}

void Form1::closeEvent(QCloseEvent* event) {
  event->accept();
  Form_Unload();
}

void Form1::file_menu_end_Click() { Form_Unload(); }

// ---- timer, fields, image area ----

void Form1::Timer1_Timer() {
  // Ticks that fall into an exchange make one tick after it.
  if (exchange_running_) {
    if (!tick_deferred_) {
      tick_deferred_ = true;
      run([this] {
        tick_deferred_ = false;
        p_.connection.Timer1_Timer();
      });
    }
    return;
  }
  run([&] { p_.connection.Timer1_Timer(); });
}

void Form1::Check1_Click() {
  p_.form.Check1 = Check1_->isChecked();
  run([&] { p_.shooting.Check1_Click(p_.form.Check1); });
}

void Form1::Option1_Click() {
  run([&] { p_.display.Option1_Click(); });
}

void Form1::Option2_Click() {
  run([&] { p_.display.Option2_Click(); });
}

void Form1::Picture1_MouseDown(Qt::MouseButton, Qt::KeyboardModifiers modifiers, double x, double y) {
  // Shift alone, with any button, opens the line profile of the clicked row.
  if (is_profile_click(modifiers)) {
    run([this, x, y] {
      const auto open_window = [this] { return new Form12(p_.frames, p_.profile, this); };
      open_line_profile(p_.frames, p_.profile, Form12_, open_window, x, y, Picture::kWidth, Picture::kHeight);
    });
    return;
  }
  // Any other click, with any button, locks or releases the guide star.
  const TrackingStatusHooks tracking_status{
      [this] { open_dialog<Form6>(Form6_, p_.guide.tracking_status, p_.settings); },
      [this] {
        if (Form6_) Form6_->close();
      }};
  run([this, x, y, tracking_status] {
    p_.guiding.Picture1_MouseDown(x, y, Picture::kWidth, Picture::kHeight, tracking_status);
  });
}

void Form1::Picture1_MouseMove(double x, double y) {
  run([this, x, y] { p_.display.Picture1_MouseMove(x, y, Picture::kWidth, Picture::kHeight); });
}

// ---- file menu ----

void Form1::file_menu_open_light_Click() { open_file_dialog(kOpenLight); }
void Form1::file_menu_open_dark_Click() { open_file_dialog(kOpenDark); }
void Form1::file_menu_open_flat_Click() { open_file_dialog(kOpenFlat); }
void Form1::file_menu_save_light_Click() { open_file_dialog(kSaveLight); }
void Form1::file_menu_save_dark_Click() { open_file_dialog(kSaveDark); }

// ---- camera menu ----

void Form1::camera_menu_link_Click() {
  run([&] { p_.connection.camera_menu_link_Click(); });
}
void Form1::camera_menu_link_sumi_Click() {
  run([&] { p_.connection.camera_menu_link_sumi_Click(); });
}
void Form1::camera_menu_cool_Click() {
  run([&] { p_.connection.camera_menu_cool_Click(numeric_value(p_.form.Text3)); });
}
void Form1::camera_menu_cool_stop_Click() {
  run([&] { p_.connection.camera_menu_cool_stop_Click(); });
}

// ---- shooting menu ----

void Form1::exp_menu_one_Click() {
  run([&] { p_.shooting.exp_menu_one_Click(); });
}
void Form1::exp_menu_dark_Click() {
  run([&] { p_.shooting.exp_menu_dark_Click(); });
}
void Form1::exp_menu_grab_Click() {
  run([&] { p_.series.exp_menu_grab_Click(); });
}
void Form1::exp_menu_grab_num_Click() {
  run([&] { p_.series.exp_menu_grab_num_Click(); });
}
void Form1::exp_menu_grab_program_Click() {
  run([&] { stellacq::exp_menu_grab_program_Click(p_.series.state()); });
  open_dialog<Form11>(Form11_, p_.program_shooting);
  if (auto* form = qobject_cast<Form11*>(Form11_.data()))
    form->run_handler = [this](const std::function<void()>& program) {
      // The program refers to the window's locals and cannot wait for the end
      // of an exchange; a start that falls into one (only a non-user event
      // can) does nothing, and the window stays ready for the next click.
      if (!exchange_running_) run(program);
    };
}
void Form1::exp_menu_grab_stop_Click() {
  run([&] { p_.series.exp_menu_grab_stop_Click(); });
}
void Form1::exp_menu_grab_auto_Click() {
  run([&] { p_.series.exp_menu_grab_auto_Click(); });
}
void Form1::exp_menu_grab_auto_stop_Click() {
  run([&] { p_.series.exp_menu_grab_auto_stop_Click(); });
}

// ---- image menu ----

void Form1::image_menu_display_auto_Click() {
  run([&] { p_.display.image_menu_display_auto_Click(); });
}
void Form1::image_menu_display_manual_bright_Click() {
  Form9* histogram = open_dialog<Form9>(Form9_, p_.display, p_.ui);
  connect(histogram, &Form9::levels_applied, this, &Form1::show_fields, Qt::UniqueConnection);
}
void Form1::image_menu_display_manual_range_Click() {
  run([&] { p_.display.image_menu_display_manual_range_Click(); });
}
void Form1::image_menu_display_manual_background_Click() {
  run([&] { p_.display.image_menu_display_manual_background_Click(); });
}
void Form1::image_menu_display_dark_Click() {
  run([&] { p_.display.image_menu_display_dark_Click(); });
}
void Form1::image_menu_display_dark_sub_Click() {
  run([&] { p_.display.image_menu_display_dark_sub_Click(); });
}
void Form1::image_menu_display_flat_Click() {
  run([&] { p_.display.image_menu_display_flat_Click(); });
}
void Form1::image_menu_display_flat_sub_Click() {
  run([&] { p_.display.image_menu_display_flat_sub_Click(); });
}

void Form1::image_menu_view_full_Click() {
  // The viewer shows the guide star's search window while one is locked.
  const GuideWindowSource guide_window = [this]() -> std::optional<FrameSquare> {
    const GuideState& g = p_.guide;
    if (g.guide_locked != 1) return std::nullopt;
    const int span = configured_span(p_.settings);
    if (span < 0) return std::nullopt;  // searches nothing, as the marker draws nothing
    return FrameSquare{g.guide_x - span, g.guide_y - span, g.guide_x + span, g.guide_y + span};
  };
  bool created = false;
  Form13* viewer =
      show_single<Form13>(Form13_, &created, p_.display.state(), guide_window, viewer_place_, this);
  if (created) viewer->move(frameGeometry().right() + 1, frameGeometry().top());  // beside the main window
}

// ---- telescope and settings ----

void Form1::telescope_menu_Click() { open_dialog<Form10>(Form10_, p_.telescope); }
void Form1::config_menu_track_Click() { open_dialog<Form4>(Form4_, settings_file(p_), p_.ui); }

void Form1::config_menu_para_Click() { open_dialog<Form2>(Form2_, settings_file(p_), p_.ports, p_.ui); }
void Form1::config_menu_cu_Click() { open_dialog<Form7>(Form7_, settings_file(p_), p_.ui); }
void Form1::config_menu_serial_Click() { open_dialog<Form5>(Form5_, settings_file(p_), p_.ui); }
void Form1::config_menu_file_Click() {
  show_single<Form8>(Form8_, nullptr, settings_file(p_), p_.ui, nullptr);
}

}  // namespace stellacq
