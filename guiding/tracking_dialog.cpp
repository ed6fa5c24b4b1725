// Form4; see tracking_dialog.h. The reading of the fields and OK are in
// guiding/tracking_settings.
#include "guiding/tracking_dialog.h"

#include <QGridLayout>

#include "camera/geometry.h"
#include "window_kit/window_support.h"

namespace stellacq {

namespace {

// A field, known to assistive tools by the caption of the label before it.
QLineEdit* field(const char* name, const QLabel* caption, const std::string& text, QWidget* parent) {
  return named(new QLineEdit(QString::fromStdString(text), parent), name, caption->text());
}

QFrame* line(const char* name, QWidget* parent) {
  auto* l = named(new QFrame(parent), name, QString::fromLatin1(name));
  l->setFrameShape(QFrame::HLine);
  l->setFrameShadow(QFrame::Sunken);
  return l;
}

}  // namespace

Form4::Form4(const SettingsFile& file, Interaction& ui, QWidget* parent) : SettingsDialog(file, ui, parent) {
  const QString title = QStringLiteral("Tracking Factor Setting");
  named(this, "Form4", title);
  setWindowTitle(title);

  const TrackingTexts texts = tracking_texts(file.settings);
  Label1_ = captioned<QLabel>("Label1", "(RA) X Axis", this);
  Label2_ = captioned<QLabel>("Label2", "(RD) Y Axis", this);
  Check1_ = captioned<QCheckBox>("Check1", " 正転", this);
  Check2_ = captioned<QCheckBox>("Check2", " 逆転", this);
  Check3_ = captioned<QCheckBox>("Check3", " 正転", this);
  Check4_ = captioned<QCheckBox>("Check4", " 逆転", this);
  Check5_ = captioned<QCheckBox>("Check5", "ﾄﾗｯｷﾝｸﾞする", this);
  Check6_ = captioned<QCheckBox>("Check6", "ﾄﾗｯｷﾝｸﾞする", this);
  Label3_ = captioned<QLabel>("Label3", "X : Tracking factor", this);
  Text1_ = field("Text1", Label3_, texts.Text1, this);
  Label8_ = captioned<QLabel>("Label8", "x", this);
  Text6_ = field("Text6", Label8_, texts.Text6, this);
  Label4_ = captioned<QLabel>("Label4", "Y : Tracking factor", this);
  Text2_ = field("Text2", Label4_, texts.Text2, this);
  Label9_ = captioned<QLabel>("Label9", "x", this);
  Text7_ = field("Text7", Label9_, texts.Text7, this);
  Label5_ = captioned<QLabel>("Label5", "Sarch Span", this);
  Text3_ = field("Text3", Label5_, texts.Text3, this);
  Label6_ = captioned<QLabel>("Label6", "Aperture", this);
  Text4_ = field("Text4", Label6_, texts.Text4, this);
  Label7_ = captioned<QLabel>("Label7", "Threshold", this);
  Text5_ = field("Text5", Label7_, texts.Text5, this);
  Check7_ = captioned<QCheckBox>("Check7", " ﾀﾞｰｸ除去して表示", this);
  Check8_ = captioned<QCheckBox>("Check8", "ﾌﾗｯﾄ処理して表示", this);
  Check9_ = captioned<QCheckBox>("Check9", " 5ﾋﾟｸｾﾙ以内のｽﾞﾚは追尾しない", this);
  Command1_ = named(new QPushButton(QStringLiteral("OK"), this), "Command1", QStringLiteral("OK"));
  Command2_ = named(new QPushButton(QStringLiteral("Cancel"), this), "Command2", QStringLiteral("Cancel"));
  Line2_ = line("Line2", this);
  Line3_ = line("Line3", this);

  // X column, Y column, the measurement column, the buttons; below the two
  // axis columns one row per axis reads factor "x" repeat.
  auto* grid = new QGridLayout(this);
  grid->addWidget(Label1_, 0, 0, 1, 2);
  grid->addWidget(Check1_, 1, 0, 1, 2);
  grid->addWidget(Check2_, 2, 0, 1, 2);
  grid->addWidget(Check5_, 3, 0, 1, 2);
  grid->addWidget(Label2_, 0, 2, 1, 2);
  grid->addWidget(Check3_, 1, 2, 1, 2);
  grid->addWidget(Check4_, 2, 2, 1, 2);
  grid->addWidget(Check6_, 3, 2, 1, 2);
  grid->addWidget(Label5_, 0, 4);
  grid->addWidget(Text3_, 0, 5);
  grid->addWidget(Label6_, 1, 4);
  grid->addWidget(Text4_, 1, 5);
  grid->addWidget(Label7_, 2, 4);
  grid->addWidget(Text5_, 2, 5);
  grid->addWidget(Check7_, 3, 4, 1, 2);
  grid->addWidget(Check8_, 4, 4, 1, 2);
  grid->addWidget(Command1_, 0, 6);
  grid->addWidget(Command2_, 1, 6);
  grid->addWidget(Line2_, 4, 0, 1, 4);
  grid->addWidget(Label3_, 5, 0);
  grid->addWidget(Text1_, 5, 1);
  grid->addWidget(Label8_, 5, 2);
  grid->addWidget(Text6_, 5, 3);
  grid->addWidget(Label4_, 6, 0);
  grid->addWidget(Text2_, 6, 1);
  grid->addWidget(Label9_, 6, 2);
  grid->addWidget(Text7_, 6, 3);
  grid->addWidget(Line3_, 7, 0, 1, 4);
  grid->addWidget(Check9_, 8, 0, 1, 4);

  Form_Load();

  connect(Check1_, &QCheckBox::clicked, this, &Form4::Check1_Click);
  connect(Check2_, &QCheckBox::clicked, this, &Form4::Check2_Click);
  connect(Check3_, &QCheckBox::clicked, this, &Form4::Check3_Click);
  connect(Check4_, &QCheckBox::clicked, this, &Form4::Check4_Click);
  connect(Text1_, &QLineEdit::textChanged, this, &Form4::Text1_Change);
  connect(Text2_, &QLineEdit::textChanged, this, &Form4::Text2_Change);
  connect(Text3_, &QLineEdit::textChanged, this, &Form4::Text3_Change);
  connect(Text4_, &QLineEdit::textChanged, this, &Form4::Text4_Change);
  connect(Text5_, &QLineEdit::textChanged, this, &Form4::Text5_Change);
  connect(Text6_, &QLineEdit::textChanged, this, &Form4::Text6_Change);
  connect(Text7_, &QLineEdit::textChanged, this, &Form4::Text7_Change);
  connect(Command1_, &QPushButton::clicked, this, &Form4::Command1_Click);
  connect(Command2_, &QPushButton::clicked, this, &Form4::Command2_Click);
}

// The fields were filled from the settings as they were made, before their
// change handlers were connected: opening stores nothing.
void Form4::Form_Load() {
  edits_ = tracking_edits(file_.settings);
  show_direction(Check1_, Check2_, edits_.x_reverse);
  show_direction(Check3_, Check4_, edits_.y_reverse);
  Check5_->setChecked(edits_.x_tracking_on);
  Check6_->setChecked(edits_.y_tracking_on);
  Check7_->setChecked(edits_.guide_dark_sub);
  Check8_->setChecked(edits_.guide_flat_sub);
  Check9_->setChecked(edits_.small_shift_ignore);
}

void Form4::show_direction(QCheckBox* normal, QCheckBox* reversed, std::int16_t reverse) {
  normal->setChecked(reverse == 0);
  reversed->setChecked(reverse != 0);
}

void Form4::rewrite(QLineEdit* field, const std::string& text) {
  const QString shown = QString::fromStdString(text);
  if (field->text() != shown) field->setText(shown);
}

void Form4::Check1_Click() {
  edits_.x_reverse = direction_clicked(false, Check1_->isChecked());
  show_direction(Check1_, Check2_, edits_.x_reverse);
}

void Form4::Check2_Click() {
  edits_.x_reverse = direction_clicked(true, Check2_->isChecked());
  show_direction(Check1_, Check2_, edits_.x_reverse);
}

void Form4::Check3_Click() {
  edits_.y_reverse = direction_clicked(false, Check3_->isChecked());
  show_direction(Check3_, Check4_, edits_.y_reverse);
}

void Form4::Check4_Click() {
  edits_.y_reverse = direction_clicked(true, Check4_->isChecked());
  show_direction(Check3_, Check4_, edits_.y_reverse);
}

void Form4::Text1_Change() { edits_.x_tracking_factor = whole_field_value(Text1_->text().toStdString()); }

void Form4::Text2_Change() { edits_.y_tracking_factor = whole_field_value(Text2_->text().toStdString()); }

void Form4::Text3_Change() { edits_.search_span = whole_field_value(Text3_->text().toStdString()); }

void Form4::Text4_Change() { edits_.aperture = whole_field_value(Text4_->text().toStdString()); }

void Form4::Text5_Change() { edits_.threshold = field_value(Text5_->text().toStdString()); }

void Form4::Text6_Change() {
  rewrite(Text6_, x_move_repeat_edited(file_.settings, Text6_->text().toStdString()));
}

void Form4::Text7_Change() {
  rewrite(Text7_, y_move_repeat_edited(file_.settings, Text7_->text().toStdString()));
}

void Form4::Command1_Click() {
  edits_.x_tracking_on = Check5_->isChecked();
  edits_.y_tracking_on = Check6_->isChecked();
  edits_.guide_dark_sub = Check7_->isChecked();
  edits_.guide_flat_sub = Check8_->isChecked();
  edits_.small_shift_ignore = Check9_->isChecked();
  // A refused or unwritten OK keeps the dialog open, so the user can put
  // the field right or try again; closing the window gives up.
  if (tracking_ok(file_, ui_, edits_) == TrackingOk::Stored) close();
}

void Form4::Command2_Click() { close(); }

}  // namespace stellacq
