#include "core/MainF.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Globals.h"
#include "core/Settings.h"

namespace qvx {

MainF& MainF::Instance() {
  static MainF instance;
  return instance;
}

MainF::~MainF() = default;

void MainF::Show() {
  if (!window_) window_ = std::make_unique<MainFForm>();
  window_->ShowModeless();
}

void MainF::ExitProgram() {
  SaveSettingsOnExit();
  if (window_) window_->Unload();
  QCoreApplication::quit();
}

ui::Form* MainF::Window() { return window_.get(); }

void MainF::DestroyWindow() { window_.reset(); }

MainFForm::MainFForm() {
  setWindowTitle(ui::kProgramTitle);
  auto* layout = new QVBoxLayout(this);
  LblCompany = new QLabel(this);
  CmdExit = new QPushButton(tr("E&xit"), this);
  layout->addWidget(LblCompany);
  layout->addWidget(CmdExit);
  connect(CmdExit, &QPushButton::clicked, this, [this] { CmdExit_Click(); });
  resize(640, 400);
}

void MainFForm::Form_Load() {
  G.LastProcess = "Loading Main";
  LblCompany->setText(QString::fromStdString(G.DataSetCompany));
}

void MainFForm::Form_QueryUnload() { MainF::Instance().ExitProgram(); }

void MainFForm::CmdExit_Click() { MainF::Instance().ExitProgram(); }

}  // namespace qvx
