#include "core/PrefLabels.h"

#include <cmath>
#include <limits>
#include <optional>

#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "core/Globals.h"
#include "platform/runtime/Runtime.h"

namespace qvx {

namespace {

// A Single as the run-time library's Str shows it: a blank before a value that is not
// negative (" 2.5", " .5", "-1.25").
std::string StrSingle(float value) { return (value < 0 ? "" : " ") + SingleToText(value); }

// The number a box's text begins with, as a Single; nothing when it does not fit one.
std::optional<float> SingleOf(const QLineEdit& box) {
  double v = Val(box.text().toStdString());
  if (!std::isfinite(v) || std::fabs(v) > std::numeric_limits<float>::max()) return std::nullopt;
  return static_cast<float>(v);
}

}  // namespace

void PrefLabels::Show() {
  PrefLabelsForm form;
  form.ShowModal();
}

PrefLabelsForm::PrefLabelsForm() {
  setWindowTitle("Label Size");
  Label1.setText("Label Height (cm)");
  Label2.setText("Label Width (cm)");
  Label8.setText("Label Font Size");
  ChkFontBold.setText("Use bold font");
  Label3.setText("Note:");
  Label4.setText("Width is left side of first to left side of next label.");
  Label5.setText("Height is top of first to top of next label.");
  Exit.setText("OK");
  SetKeyButtons(Exit, &Command1);
  Command1.setText("Cancel");

  auto* fields = new QFormLayout(&Frame1);
  fields->addRow(&Label1, &TxtLblHeight);
  fields->addRow(&Label2, &TxtLblWidth);
  fields->addRow(&Label8, &TxtNameFont);
  fields->addRow(&ChkFontBold);
  fields->addRow(&Label3);
  fields->addRow(&Label4);
  fields->addRow(&Label5);
  auto* buttons = new QHBoxLayout(&BottomBox);
  buttons->addStretch(1);
  buttons->addWidget(&Exit);
  buttons->addWidget(&Command1);
  auto* main = new QVBoxLayout(this);
  main->addWidget(&Frame1);
  main->addWidget(&BottomBox);

  connect(&Exit, &QPushButton::clicked, this, [this] { Exit_Click(); });
  connect(&Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
}

void PrefLabelsForm::Form_Load() {
  TxtLblHeight.setText(QString::fromStdString(StrSingle(G.LblHeight)));
  TxtLblWidth.setText(QString::fromStdString(StrSingle(G.LblWidth)));
  TxtNameFont.setText(QString::fromStdString(Str(static_cast<int64_t>(G.LblFontSize))));
  ChkFontBold.setChecked(G.LblFontBold != 0);
}

void PrefLabelsForm::Exit_Click() {
  // Every value is checked before any is stored, so a refused OK changes nothing.
  auto refuse = [](const QLabel& label) {
    ui::MsgBox(label.text().toStdString() + " is out of range", ui::Buttons::OK, ui::Icon::Exclamation,
               "Label Size");
  };
  auto height = SingleOf(TxtLblHeight);
  if (!height) return refuse(Label1);
  auto width = SingleOf(TxtLblWidth);
  if (!width) return refuse(Label2);
  int16_t fontSize = 0;
  try {
    fontSize = CInt(Val(TxtNameFont.text().toStdString()));
  } catch (const VbError&) {
    return refuse(Label8);
  }
  G.LblHeight = *height;
  G.LblWidth = *width;
  G.LblFontSize = fontSize;
  G.LblFontBold = Flag(ChkFontBold.isChecked());
  Unload();
}

void PrefLabelsForm::Command1_Click() { Unload(); }

}  // namespace qvx
