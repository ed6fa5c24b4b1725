// Form1's menu bar: every item with its name, its caption and the handler a
// click on it runs, in the order the bar shows them.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <map>
#include <string>

#include "app/main_window.h"

namespace stellacq {

namespace {

struct MenuItem {
  const char* name;
  const char* parent;  // nullptr: the menu bar
  const char* caption;
  void (Form1::*handler)();  // nullptr: a submenu
};

const MenuItem kMenuTree[] = {
    {"file_menu", nullptr, "ファイル", nullptr},
    {"file_menu_open", "file_menu", "開く", nullptr},
    {"file_menu_open_light", "file_menu_open", "ライトフレーム", &Form1::file_menu_open_light_Click},
    {"file_menu_open_dark", "file_menu_open", "ダークフレーム", &Form1::file_menu_open_dark_Click},
    {"file_menu_open_flat", "file_menu_open", "フラットフィールド読込", &Form1::file_menu_open_flat_Click},
    {"file_menu_save", "file_menu", "保存", nullptr},
    {"file_menu_save_light", "file_menu_save", "ライトフレーム", &Form1::file_menu_save_light_Click},
    {"file_menu_save_dark", "file_menu_save", "ダークフレーム", &Form1::file_menu_save_dark_Click},
    {"file_menu_end", "file_menu", "終了", &Form1::file_menu_end_Click},
    {"camera_menu", nullptr, "カメラ", nullptr},
    {"camera_menu_link", "camera_menu", "新規接続", &Form1::camera_menu_link_Click},
    {"camera_menu_link_sumi", "camera_menu", "接続済み", &Form1::camera_menu_link_sumi_Click},
    {"camera_menu_cool", "camera_menu", "冷却開始", &Form1::camera_menu_cool_Click},
    {"camera_menu_cool_stop", "camera_menu", "冷却停止", &Form1::camera_menu_cool_stop_Click},
    {"exp_menu", nullptr, "撮影", nullptr},
    {"exp_menu_one", "exp_menu", "ライトフレーム撮影", &Form1::exp_menu_one_Click},
    {"exp_menu_dark", "exp_menu", "ダークフレ－ム撮影", &Form1::exp_menu_dark_Click},
    {"exp_menu_grab", "exp_menu", "連続撮影開始", &Form1::exp_menu_grab_Click},
    {"exp_menu_grab_num", "exp_menu", "連続撮影開始（枚数指定）", &Form1::exp_menu_grab_num_Click},
    {"exp_menu_grab_program", "exp_menu", "プログラム撮影", &Form1::exp_menu_grab_program_Click},
    {"exp_menu_grab_stop", "exp_menu", "連続撮影停止", &Form1::exp_menu_grab_stop_Click},
    {"exp_menu_grab_auto", "exp_menu", "連続撮影と自動追尾 開始", &Form1::exp_menu_grab_auto_Click},
    {"exp_menu_grab_auto_stop", "exp_menu", "連続撮影と自動追尾 停止", &Form1::exp_menu_grab_auto_stop_Click},
    {"image_menu", nullptr, "画像", nullptr},
    {"image_menu_display", "image_menu", "ライトフレーム表示", nullptr},
    {"image_menu_display_auto", "image_menu_display", "明るさ自動", &Form1::image_menu_display_auto_Click},
    {"image_menu_display_manual", "image_menu_display", "明るさ設定", nullptr},
    {"image_menu_display_manual_bright", "image_menu_display_manual", "手動設定",
     &Form1::image_menu_display_manual_bright_Click},
    {"image_menu_display_manual_range", "image_menu_display_manual", "レンジ",
     &Form1::image_menu_display_manual_range_Click},
    {"image_menu_display_manual_background", "image_menu_display_manual", "バックグランド",
     &Form1::image_menu_display_manual_background_Click},
    {"image_menu_display_dark", "image_menu", "ダークフレーム表示", &Form1::image_menu_display_dark_Click},
    {"image_menu_display_dark_sub", "image_menu", "ダーク除去して表示",
     &Form1::image_menu_display_dark_sub_Click},
    {"image_menu_display_flat", "image_menu", "フラットフィールド表示",
     &Form1::image_menu_display_flat_Click},
    {"image_menu_display_flat_sub", "image_menu", "フラット処理して表示",
     &Form1::image_menu_display_flat_sub_Click},
    {"image_menu_view_full", "image_menu", "拡大表示", &Form1::image_menu_view_full_Click},
    {"telescope_menu", nullptr, "望遠鏡", &Form1::telescope_menu_Click},
    {"config_menu", nullptr, "設定", nullptr},
    {"config_menu_para", "config_menu", "ﾊﾟﾗﾚﾙﾎﾟｰﾄ設定 (TX11)", &Form1::config_menu_para_Click},
    {"config_menu_cu", "config_menu", "ｶﾒﾗﾍｯﾄﾞ選択(TX-11/TX-22)", &Form1::config_menu_cu_Click},
    {"config_menu_serial", "config_menu", "ｼﾘｱﾙﾎﾟｰﾄ設定 (SkySensor2000PC)", &Form1::config_menu_serial_Click},
    {"config_menu_track", "config_menu", "ﾄﾗｯｷﾝｸﾞ設定", &Form1::config_menu_track_Click},
    {"config_menu_file", "config_menu", "ﾌｫﾙﾀﾞｰ指定", &Form1::config_menu_file_Click},
};

}  // namespace

void Form1::build_menus() {
  std::map<std::string, QMenu*> menus;
  for (const MenuItem& item : kMenuTree) {
    const QString caption = QString::fromUtf8(item.caption);
    QAction* action = nullptr;
    if (item.handler == nullptr) {
      QMenu* menu = item.parent ? menus.at(item.parent)->addMenu(caption) : menuBar()->addMenu(caption);
      menu->setObjectName(QString::fromUtf8(item.name) + QStringLiteral("_menu"));
      menus[item.name] = menu;
      action = menu->menuAction();
    } else {
      action = item.parent ? menus.at(item.parent)->addAction(caption) : menuBar()->addAction(caption);
      connect(action, &QAction::triggered, this, item.handler);
    }
    action->setObjectName(QString::fromUtf8(item.name));
    actions_[item.name] = action;
  }
}

QAction* Form1::menu_action(const std::string& item_name) const {
  const auto it = actions_.find(item_name);
  return it == actions_.end() ? nullptr : it->second;
}

}  // namespace stellacq
