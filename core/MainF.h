// The main window. Its one program-wide object lives for the whole run; the window is
// built when it is first shown.
#pragma once

#include <memory>

#include "platform/ui/Ui.h"

class QLabel;
class QPushButton;

namespace qvx {

class MainFForm;

class MainF {
 public:
  static MainF& Instance();
  ~MainF();

  // Shows the main window without waiting.
  void Show();
  // Ends the program: saves the settings and the data-set file, closes the window and
  // ends the event loop.
  void ExitProgram();
  // The window, when it has been built.
  ui::Form* Window();
  // Destroys the window; called before the application object goes away.
  void DestroyWindow();

 private:
  std::unique_ptr<MainFForm> window_;
};

class MainFForm : public ui::Form {
  Q_OBJECT
 public:
  MainFForm();
  void Form_Load() override;
  void Form_QueryUnload() override;
  void CmdExit_Click();

  QLabel* LblCompany;
  QPushButton* CmdExit;
};

}  // namespace qvx
