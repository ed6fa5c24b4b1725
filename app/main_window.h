// Form1: the main window. Holds the image area, the exposure and temperature
// fields, the status line, the binning selector, the menu tree and the 300 ms
// tick. Every handler forwards to the windowless logic of its subsystem and
// then shows the fields the logic rewrote; the window itself decides nothing.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QEvent;
class QObject;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

namespace stellacq {

struct ExchangeProgress;
enum class InputVerdict;
class PictureBox;
class Program;
class QtInteraction;
struct ViewerPlace;

class Form1 final : public QMainWindow {
  Q_OBJECT
 public:
  // `start_dir` is the folder the INI file is kept in (the current folder at
  // start-up).
  Form1(Program& program, QtInteraction& ui, const std::string& start_dir);
  ~Form1() override;

  // The menu action of a menu item, by its item name ("exp_menu_one").
  QAction* menu_action(const std::string& item_name) const;
  // Copies the fields of the program state into the widgets.
  void show_fields();

 public slots:
  void Form_Load();
  void Timer1_Timer();

  void file_menu_open_light_Click();
  void file_menu_open_dark_Click();
  void file_menu_open_flat_Click();
  void file_menu_save_light_Click();
  void file_menu_save_dark_Click();
  void file_menu_end_Click();
  void camera_menu_link_Click();
  void camera_menu_link_sumi_Click();
  void camera_menu_cool_Click();
  void camera_menu_cool_stop_Click();
  void exp_menu_one_Click();
  void exp_menu_dark_Click();
  void exp_menu_grab_Click();
  void exp_menu_grab_num_Click();
  void exp_menu_grab_program_Click();
  void exp_menu_grab_stop_Click();
  void exp_menu_grab_auto_Click();
  void exp_menu_grab_auto_stop_Click();
  void image_menu_display_auto_Click();
  void image_menu_display_manual_bright_Click();
  void image_menu_display_manual_range_Click();
  void image_menu_display_manual_background_Click();
  void image_menu_display_dark_Click();
  void image_menu_display_dark_sub_Click();
  void image_menu_display_flat_Click();
  void image_menu_display_flat_sub_Click();
  void image_menu_view_full_Click();
  void telescope_menu_Click();
  void config_menu_para_Click();
  void config_menu_cu_Click();
  void config_menu_serial_Click();
  void config_menu_track_Click();
  void config_menu_file_Click();
  void Check1_Click();
  void Option1_Click();
  void Option2_Click();
  void Picture1_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, double x, double y);
  void Picture1_MouseMove(double x, double y);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void build_controls();
  // The menu bar, from the tree of items in main_menu.cpp.
  void build_menus();
  void Form_Unload();
  // Runs a piece of logic as one handler: no exception leaves it, and the
  // fields are shown afterwards. While an exchange with the unit runs (the
  // window repaints inside it), the logic is kept and run after the
  // exchange: it must hold copies of what it uses, not references to the
  // caller's locals.
  template <typename F>
  void run(F&& logic);
  // Handlers held back during an exchange, in their order.
  void run_deferred();
  void show_progress(const ExchangeProgress& progress);
  void end_progress();
  // Asks the running exposure or download to end: the frame is dropped and
  // the unit made ready again. Runs at once, also inside the exchange.
  void abort_frame();
  // The input that reaches the window during an exchange: Esc to this
  // window and clicks on the abort button while a frame can be aborted;
  // all other input waits for the end of the exchange.
  InputVerdict exchange_input(QObject* receiver, QEvent* event);
  // Shows the dialog kept in `slot`, a child of this window, creating it
  // first when it is not open: one of each at a time. `args` are what the
  // dialog shows and changes.
  template <typename Dialog, typename... Args>
  Dialog* open_dialog(QPointer<QWidget>& slot, Args&&... args);
  // The file dialog for `file_mode`, with its caption; sets file_mode.
  void open_file_dialog(int file_mode);
  void end_program();

  Program& p_;
  QtInteraction& ui_;
  std::string start_dir_;
  int running_handlers_ = 0;
  // True from the first progress of an exchange with the unit to its end.
  bool exchange_running_ = false;
  bool tick_deferred_ = false;
  std::vector<std::function<void()>> deferred_;

  PictureBox* Picture1_ = nullptr;
  QLineEdit* Text1_ = nullptr;
  QLineEdit* Text3_ = nullptr;
  QLineEdit* Text4_ = nullptr;
  QLineEdit* Text5_ = nullptr;
  QLineEdit* Text6_ = nullptr;
  QLineEdit* Text7_ = nullptr;
  QProgressBar* ProgressBar1_ = nullptr;  // beside the status line during an exchange
  QPushButton* AbortButton_ = nullptr;    // beside the bar; enabled during an exposure or download
  QLabel* Label1_ = nullptr;
  QRadioButton* Option1_ = nullptr;
  QRadioButton* Option2_ = nullptr;
  QCheckBox* Check1_ = nullptr;
  QTimer* Timer1_ = nullptr;
  std::map<std::string, QAction*> actions_;

  // Windows opened from the menus and the image area; one of each at a
  // time. The file dialog and the save-folder dialog stand on their own on
  // the desktop; the others belong to this window.
  QPointer<QWidget> Form2_, Form3_, Form4_, Form5_, Form7_, Form8_, Form9_, Form10_, Form11_;
  QPointer<QWidget> Form6_;   // tracking status, opened and closed by the guide-star lock
  QPointer<QWidget> Form12_;  // line profile graph
  QPointer<QWidget> Form13_;  // full-resolution viewer
  // The viewer's size and zoom, kept from one opening to the next.
  std::shared_ptr<ViewerPlace> viewer_place_;
};

}  // namespace stellacq
