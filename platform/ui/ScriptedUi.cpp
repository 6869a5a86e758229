#include "platform/ui/ScriptedUi.h"

#include <typeinfo>

namespace qvx::ui {

Answer ScriptedUi::Message(const MessageRequest& r) {
  if (at) at("message");
  shown.push_back({"message", r.text, r.title, r.buttons, r.icon});
  if (!answers_.empty()) {
    Answer a = answers_.front();
    answers_.pop_front();
    return a;
  }
  switch (r.buttons) {
    case Buttons::OK:
    case Buttons::OKCancel: return Answer::OK;
    case Buttons::AbortRetryIgnore: return Answer::Abort;
    case Buttons::YesNoCancel:
    case Buttons::YesNo: return Answer::Yes;
    case Buttons::RetryCancel: return Answer::Retry;
  }
  return Answer::OK;
}

std::optional<std::string> ScriptedUi::Input(const InputRequest& r) {
  if (at) at("input");
  shown.push_back({"input", r.prompt, r.title, Buttons::OKCancel, Icon::None});
  if (inputs_.empty()) return std::nullopt;
  auto s = inputs_.front();
  inputs_.pop_front();
  return s;
}

std::optional<std::string> ScriptedUi::File(const FileRequest& r) {
  if (at) at("file");
  shown.push_back({"file", r.title, r.title, Buttons::OKCancel, Icon::None});
  fileRequests.push_back(r);
  if (files_.empty()) return std::nullopt;
  auto s = files_.front();
  files_.pop_front();
  return s;
}

void ScriptedUi::RunModal(Form& form) {
  if (at) at("form");
  shown.push_back({"form", typeid(form).name(), form.windowTitle().toStdString(), Buttons::OK, Icon::None});
  if (!forms_.empty()) {
    auto action = std::move(forms_.front());
    forms_.pop_front();
    action(form);
  }
  if (form.Loaded()) form.Unload();
}

void ScriptedUi::ExitProgram(int code) {
  shown.push_back({"exit", std::to_string(code), {}, Buttons::OK, Icon::None});
  throw ProgramExit{code};
}

std::vector<std::string> ScriptedUi::Messages() const {
  std::vector<std::string> out;
  for (auto& s : shown)
    if (s.kind == "message") out.push_back(s.text);
  return out;
}

}  // namespace qvx::ui
