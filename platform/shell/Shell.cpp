#include "platform/shell/Shell.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include "platform/sys/ProgramEnding.h"

namespace qvx::shell {
namespace {

struct ShellState {
  Opener opener;
};

ShellState& State() {
  static ShellState s;
  return s;
}

bool OpenOnDesktop(const std::string& pathOrUrl) {
  const QString text = QString::fromStdString(pathOrUrl);
  // Anything with a scheme is a web address; everything else is a local path.
  QUrl url(text);
  if (url.scheme().size() < 2) url = QUrl::fromLocalFile(text);
  return QDesktopServices::openUrl(url);
}

}  // namespace

bool OpenWithDefaultProgram(const std::string& pathOrUrl) {
  // A program started once the end has begun would outlive this one and its screen.
  if (sys::ProgramEnding()) return false;
  if (State().opener) return State().opener(pathOrUrl);
  return OpenOnDesktop(pathOrUrl);
}

Opener SetOpener(Opener opener) {
  Opener previous = std::move(State().opener);
  State().opener = std::move(opener);
  return previous;
}

RecordingScope::RecordingScope(bool answer) {
  previous_ = SetOpener([this, answer](const std::string& s) {
    opened.push_back(s);
    return answer;
  });
}

RecordingScope::~RecordingScope() { SetOpener(std::move(previous_)); }

}  // namespace qvx::shell
