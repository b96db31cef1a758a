#pragma once

#include "config/bot_settings.h"
#include "config/config_writer.h"
#include "ui/twip_scale.h"

#include <QMainWindow>
#include <QMessageBox>

#include <array>
#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace quorvel {

class AboutWindow;
class MenuFocusHold;
namespace mainlayout {
struct ControlRef;
}

// Form1: six pages of settings, the menu bar, and the write with its progress markers. It is
// the WriteProgress of its own writes.
class MainWindow : public QMainWindow, public WriteProgress {
    Q_OBJECT

public:
    MainWindow();
    ~MainWindow() override;

    // The record filled by the last gatherSettings.
    const BotSettings& settings() const { return settings_; }
    // The uniform enlargement of the twip layout that lets this platform's fonts fit.
    const TwipScale& layoutScale() const { return scale_; }

    void gatherSettings();

    void Check1_Click();
    void Check2_Click();
    void Check27_Click();
    void Check28_Click();
    void Text6_Change();
    void SSTab1_Click();
    void Command1_Click();
    void write_Click();
    void exit_Click();
    void help2_Click();
    void about_Click();

    void stageWritten(WriteStage stage) override;
    void fileWritten() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildPages();
    void showSettings(const BotSettings& values);
    void setFocusOrder();
    void connectHandlers();
    void hideMarkers();
    QWidget* widget(mainlayout::ControlRef control) const;
    // A message box made at its first use and then kept hidden between uses, as About is: a
    // screen reader still asks about a box's parts for a while after it closed.
    QMessageBox& keptMessageBox(QMessageBox*& box, QMessageBox::Icon icon, const QString& title);

    BotSettings settings_;
    TwipScale scale_;

    QTabWidget* tabs_ = nullptr;
    // Indexed by the control's number: texts_[6] is Text6. Text14 is the scripts box.
    std::array<QLineEdit*, 18> texts_{};
    QPlainTextEdit* scriptsBox_ = nullptr;
    std::array<QCheckBox*, 29> checks_{};
    std::array<QLabel*, 27> labels_{};
    QPushButton* writeOutButton_ = nullptr;
    std::vector<QAction*> menuActions_; // in the order of the menu table

    std::unique_ptr<AboutWindow> about_; // Form2, created by the first "About..."
    QMessageBox* failureBox_ = nullptr;  // a failed write's message
    QMessageBox* helpBox_ = nullptr;     // "Need help?!"
    MenuFocusHold* menuFocus_ = nullptr; // the focus kept from menus that open a window
};

} // namespace quorvel
