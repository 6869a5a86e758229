#include "core/About.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QStyle>
#include <QVBoxLayout>

#include "core/Lookups.h"
#include "core/ReportOutput.h"
#include "core/Startup.h"
#include "platform/locale/Locale.h"
#include "platform/shell/Shell.h"
#include "platform/sys/Sys.h"

namespace qvx {

namespace {

constexpr const char* kWarning =
    "Warning: this program is protected by copyright law and international treaties. "
    "Reproduction or distribution of this program, or of any part of it, without the "
    "written permission of its authors is not allowed. Unauthorised copies may lead to "
    "civil and criminal penalties.";

}  // namespace

About& About::Instance() {
  static About instance;
  return instance;
}

void About::Show() {
  AboutForm form;
  form.ShowModal();
}

void About::RunExcel(const std::string& folder, const std::string& fileName) {
  std::string path = folder;
  shell::OpenWithDefaultProgram(AddBackslash(path) + fileName);
}

std::string About::FileDateText(const QDate& date, const std::string& shortDatePicture) {
  // Any run of "y" becomes "yyyy", so that a two-digit-year picture still gives the
  // whole year; quoted text is copied as it stands.
  std::string picture;
  bool quoted = false;
  for (size_t i = 0; i < shortDatePicture.size(); ++i) {
    const char c = shortDatePicture[i];
    if (c == '\'') quoted = !quoted;
    if (!quoted && c == 'y') {
      while (i + 1 < shortDatePicture.size() && shortDatePicture[i + 1] == 'y') ++i;
      picture += "yyyy";
      continue;
    }
    picture += c;
  }
  return locale::FormatDate(picture, date.year(), date.month(), date.day());
}

std::string About::VersionLine() {
  std::string line = "V" + VersionDigits() + "   ";
  const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  const QFileInfo program(QString::fromStdString(sys::InProgramFolder(exe.toStdString())));
  if (program.exists())
    line += FileDateText(program.lastModified().date(), locale::ShortDatePicture());
  return line;
}

AboutForm::AboutForm() {
  setWindowTitle("About Quorvex");

  const QIcon icon = QApplication::windowIcon().isNull() ? style()->standardIcon(QStyle::SP_ComputerIcon)
                                                         : QApplication::windowIcon();
  picIcon.setPixmap(icon.pixmap(48, 48));
  picIcon.setAlignment(Qt::AlignTop);
  QFont titleFont = lblTitle.font();
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
  titleFont.setBold(true);
  lblTitle.setFont(titleFont);
  lblWarn.setWordWrap(true);
  lblWarn.setMinimumWidth(360);
  QFont small = lblWarn.font();
  small.setPointSizeF(small.pointSizeF() * 0.9);
  lblWarn.setFont(small);

  // Shown as an underlined link; a click reaches LblWebsite_Click.
  LblWebsite.setTextFormat(Qt::RichText);
  LblWebsite.setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  LblWebsite.setOpenExternalLinks(false);
  QObject::connect(&LblWebsite, &QLabel::linkActivated, this, [this] { LblWebsite_Click(); });

  auto* contact = new QVBoxLayout(&FrameContact);
  contact->addWidget(&LblEmail);
  contact->addWidget(&LblWebsite);

  auto* text = new QVBoxLayout;
  text->addWidget(&lblTitle);
  text->addWidget(&LblDate);
  text->addSpacing(8);
  text->addWidget(&FrameContact);
  text->addSpacing(8);
  text->addWidget(&lblWarn);

  auto* top = new QHBoxLayout;
  top->addWidget(&picIcon);
  top->addSpacing(12);
  top->addLayout(text, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(&cmdOK);
  SetKeyButtons(cmdOK, nullptr);
  QObject::connect(&cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addSpacing(8);
  layout->addLayout(buttons);
}

void AboutForm::Form_Load() {
  lblTitle.setText(ui::kProgramTitle);
  LblDate.setText(QString::fromStdString(About::VersionLine()));
  lblWarn.setText(kWarning);
  LblEmail.setText(QString("E-mail: ") + kContactEmail);
  LblWebsite.setText(QString("<a href=\"%1\">%1</a>").arg(kWebsite));
}

void AboutForm::LblWebsite_Click() { shell::OpenWithDefaultProgram(kWebsite); }

void AboutForm::cmdOK_Click() { Unload(); }

}  // namespace qvx
