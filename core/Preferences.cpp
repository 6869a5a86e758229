#include "core/Preferences.h"

#include <array>
#include <optional>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLocale>
#include <QVBoxLayout>

#include "core/Globals.h"
#include "platform/help/Help.h"

namespace qvx {

namespace {

constexpr int16_t kTopicPreferences = 1600;
constexpr int16_t kTopicGeneral = 1182;
constexpr int16_t kTopicLines = 1184;
constexpr int kTopicBenchmarks = 1186;

struct LineBox {
  QLineEdit PreferencesForm::*box;
  QLabel PreferencesForm::*label;
  int16_t Globals::*setting;
  int16_t low, high;
};
// The four line-and-size boxes and the values they accept; others are ignored silently.
constexpr std::array<LineBox, 4> kLineBoxes{{
    {&PreferencesForm::TxtPT, &PreferencesForm::LblPT, &Globals::PTLines, 36, 119},
    {&PreferencesForm::TxtLS, &PreferencesForm::LblLS, &Globals::LSLines, 26, 79},
    {&PreferencesForm::TxtQD, &PreferencesForm::LblQD, &Globals::QtyDecimals, 0, 4},
    {&PreferencesForm::TxtUT, &PreferencesForm::LblUT, &Globals::Underline, 1, 9},
}};

struct MoneyBox {
  QLineEdit PreferencesForm::*box;
  QLabel PreferencesForm::*label;
  Money Preferences::*field;
};
constexpr std::array<MoneyBox, 3> kMoneyBoxes{{
    {&PreferencesForm::TxtBMSales, &PreferencesForm::LblBMSales, &Preferences::BMSales},
    {&PreferencesForm::TxtBMGrossProfit, &PreferencesForm::LblBMGrossProfit, &Preferences::BMGrossProfit},
    {&PreferencesForm::TxtBMNetProfit, &PreferencesForm::LblBMNetProfit, &Preferences::BMNetProfit},
}};

// A currency amount typed the way the user's region writes numbers: blanks around it,
// the region's thousands separator and decimal point, a currency sign before it, a
// minus or brackets for a negative. nullopt when the text is no number; error 6 when
// the amount lies outside the currency range.
std::optional<Money> RegionalMoney(const QString& text) {
  const QLocale loc = QLocale::system();
  QString s = text.trimmed();
  bool negative = false;
  if (s.startsWith('(') && s.endsWith(')')) {
    negative = true;
    s = s.mid(1, s.size() - 2).trimmed();
  }
  if (s.startsWith('-') || s.startsWith(loc.negativeSign())) {
    negative = !negative;
    s = s.mid(1).trimmed();
  }
  for (const QString& sign : {loc.currencySymbol(), QString("$")})
    if (!sign.isEmpty() && s.startsWith(sign)) s = s.mid(sign.size()).trimmed();
  if (!loc.groupSeparator().isEmpty()) s.remove(loc.groupSeparator());
  if (loc.decimalPoint() != ".") s.replace(loc.decimalPoint(), ".");
  if (s.isEmpty() || s.startsWith('-') || s.startsWith('+')) return std::nullopt;
  try {
    const Money m = Money::Parse(s.toStdString());
    return negative ? -m : m;
  } catch (const VbError& e) {
    if (e.Number() == err::TypeMismatch) return std::nullopt;
    throw;
  }
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

Preferences& Preferences::Instance() {
  static Preferences instance;
  return instance;
}

void Preferences::Show() {
  PreferencesForm form;
  form.ShowModal();
}

PreferencesForm::PreferencesForm() {
  setWindowTitle("Preferences");

  TabStrip1.addTab("General");
  TabStrip1.addTab("Lines / Sizes");
  TabStrip1.addTab("BenchMarks");
  TabStrip1.setExpanding(false);
  QObject::connect(&TabStrip1, &QTabBar::tabBarClicked, this, [this](int index) {
    if (index < 0) return;
    TabStrip1.setCurrentIndex(index);
    TabStrip1_Click();
  });

  PageArea.setFrameShape(QFrame::StyledPanel);
  auto* pages = new QGridLayout(&PageArea);
  for (QWidget* frame : {&FrameGen, &FrameLines, &FrameBMark}) pages->addWidget(frame, 0, 0);

  auto* gen = new QVBoxLayout(&FrameGen);
  gen->addWidget(&ChkSpaceZero);
  gen->addWidget(&ChkBackup);
  gen->addStretch(1);
  ChkBackup.setEnabled(false);

  auto* lines = new QGridLayout(&FrameLines);
  int row = 0;
  for (const auto& b : kLineBoxes) {
    QLineEdit& box = this->*b.box;
    QLabel& label = this->*b.label;
    label.setBuddy(&box);
    box.setMaximumWidth(90);
    lines->addWidget(&label, row, 0);
    lines->addWidget(&box, row, 1);
    ++row;
  }
  lines->setRowStretch(row, 1);
  lines->setColumnStretch(2, 1);

  auto* bm = new QVBoxLayout(&FrameBMark);
  bm->addWidget(&OptStandard);
  bm->addWidget(&OptUser);
  bm->addWidget(&Frame1);
  bm->addStretch(1);
  auto* bmBoxes = new QGridLayout(&Frame1);
  const std::array<std::pair<QLabel*, QLineEdit*>, 4> bmRows{{{&LblBMSales, &TxtBMSales},
                                                              {&LblBMGrossProfit, &TxtBMGrossProfit},
                                                              {&LblBMNetProfit, &TxtBMNetProfit},
                                                              {&LblBMStaff, &TxtBMStaff}}};
  row = 0;
  for (auto [label, box] : bmRows) {
    label->setBuddy(box);
    box->setMinimumWidth(140);
    bmBoxes->addWidget(label, row, 0);
    bmBoxes->addWidget(box, row, 1);
    ++row;
  }
  QObject::connect(&OptStandard, &QRadioButton::clicked, this, [this] { OptStandard_Click(); });
  QObject::connect(&OptUser, &QRadioButton::clicked, this, [this] { OptUser_Click(); });

  auto* bottom = new QHBoxLayout(&BottomBox);
  bottom->setContentsMargins(0, 0, 0, 0);
  bottom->addStretch(1);
  bottom->addWidget(&Exit);
  bottom->addWidget(&Command1);
  SetKeyButtons(Exit, &Command1);
  QObject::connect(&Exit, &QPushButton::clicked, this, [this] { Exit_Click(); });
  QObject::connect(&Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });

  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(0);
  layout->addWidget(&TabStrip1);
  layout->addWidget(&PageArea, 1);
  layout->addSpacing(10);
  layout->addWidget(&BottomBox);
  setMinimumSize(440, 320);

  // The BenchMarks tab sets no topic of its own, so HelpContextID keeps the one before
  // it; F1 there still shows the page that explains benchmarks.
  help::BindF1(*this, [this] {
    return TabStrip1.currentIndex() == 2 ? kTopicBenchmarks : static_cast<int>(HelpContextID);
  });
}

// Esc reaches Form_QueryUnload through reject(), which unloads the window: the same as
// Cancel, which changes nothing.

void PreferencesForm::ShowFrame(QWidget& shown) {
  for (QWidget* frame : {&FrameGen, &FrameLines, &FrameBMark}) {
    frame->setVisible(frame == &shown);
    frame->setEnabled(frame == &shown);
  }
}

void PreferencesForm::Form_Load() {
  auto& p = Preferences::Instance();
  TabStrip1.setCurrentIndex(0);
  ShowFrame(FrameGen);
  ChkSpaceZero.setChecked(G.SpacesForZeroes != 0);
  ChkBackup.setChecked(true);
  p.BackupDontAsk = true;
  TxtPT.setText(QString::number(G.PTLines));
  TxtLS.setText(QString::number(G.LSLines));
  TxtQD.setText(QString::number(G.QtyDecimals));
  TxtUT.setText(G.Underline >= 1 && G.Underline <= 9 ? QString::number(G.Underline) : QString());
  OptStandard.setChecked(true);
  OptStandard_Click();
  if (p.BMSetting == "U") {
    OptUser.setChecked(true);
    OptUser_Click();
  }
  TxtBMSales.setText(Q(p.BMSales.ToString()));
  TxtBMGrossProfit.setText(Q(p.BMGrossProfit.ToString()));
  TxtBMNetProfit.setText(Q(p.BMNetProfit.ToString()));
  TxtBMStaff.setText(Q(p.BMStaff.ToString()));
  HelpContextID = kTopicPreferences;
  p.ExitOkay = kFalse;
}

void PreferencesForm::TabStrip1_Click() {
  switch (TabStrip1.currentIndex()) {
    case 0:
      ShowFrame(FrameGen);
      HelpContextID = kTopicGeneral;
      break;
    case 1:
      ShowFrame(FrameLines);
      HelpContextID = kTopicLines;
      break;
    case 2:
      ShowFrame(FrameBMark);  // no topic of its own: the previous one stays
      break;
    default: break;
  }
}

void PreferencesForm::OptStandard_Click() {
  for (QLineEdit* box : {&TxtBMSales, &TxtBMGrossProfit, &TxtBMNetProfit, &TxtBMStaff}) box->setEnabled(true);
}

void PreferencesForm::OptUser_Click() {
  for (QLineEdit* box : {&TxtBMSales, &TxtBMGrossProfit, &TxtBMNetProfit, &TxtBMStaff}) box->setEnabled(false);
}

bool PreferencesForm::Refuse(QLineEdit& box, const QLabel& label, const std::string& reason) {
  ui::MsgBox(reason + " \"" + label.text().toStdString() + "\".", ui::Buttons::OK, ui::Icon::Exclamation,
             "Preferences");
  // Show the tab that holds the box, so the user sees what to correct.
  const int tab = FrameLines.isAncestorOf(&box) ? 1 : 2;
  if (TabStrip1.currentIndex() != tab) {
    TabStrip1.setCurrentIndex(tab);
    TabStrip1_Click();
  }
  box.setFocus();
  box.selectAll();
  return false;
}

void PreferencesForm::Exit_Click() {
  auto& p = Preferences::Instance();

  // Everything is read and checked before anything is stored, so a refused OK leaves
  // every setting as it was and the window open.
  std::array<int16_t, kLineBoxes.size()> lineValues{};
  for (size_t i = 0; i < kLineBoxes.size(); ++i) {
    const auto& b = kLineBoxes[i];
    try {
      lineValues[i] = CInt(Val((this->*b.box).text().toStdString()));
    } catch (const VbError&) {
      Refuse(this->*b.box, this->*b.label, "The number is too large for");
      return;
    }
  }
  std::array<Money, kMoneyBoxes.size()> moneyValues{};
  for (size_t i = 0; i < kMoneyBoxes.size(); ++i) {
    const auto& b = kMoneyBoxes[i];
    try {
      const auto m = RegionalMoney((this->*b.box).text());
      if (!m) {
        Refuse(this->*b.box, this->*b.label, "Please enter a number for");
        return;
      }
      moneyValues[i] = *m;
    } catch (const VbError&) {
      Refuse(this->*b.box, this->*b.label, "The number is too large for");
      return;
    }
  }
  Money staff;
  try {
    staff = CCur(Val(TxtBMStaff.text().toStdString()));
  } catch (const VbError&) {
    Refuse(TxtBMStaff, LblBMStaff, "The number is too large for");
    return;
  }

  G.SpacesForZeroes = Flag(ChkSpaceZero.isChecked());
  p.BackupDontAsk = ChkBackup.isChecked();
  for (size_t i = 0; i < kLineBoxes.size(); ++i) {
    const auto& b = kLineBoxes[i];
    if (lineValues[i] >= b.low && lineValues[i] <= b.high) G.*b.setting = lineValues[i];
  }
  p.BMSetting = OptUser.isChecked() ? "U" : "";
  for (size_t i = 0; i < kMoneyBoxes.size(); ++i) p.*kMoneyBoxes[i].field = moneyValues[i];
  p.BMStaff = staff;
  p.ExitOkay = kTrue;
  Unload();
}

void PreferencesForm::Command1_Click() {
  Preferences::Instance().ExitOkay = kFalse;
  Unload();
}

}  // namespace qvx
