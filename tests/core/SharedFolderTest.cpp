// The files the program saves for the user (a PDF, a workbook, the data-set backup) in a
// folder that another user may write to without the sticky bit: whatever that user puts
// at the names the save uses, at each step of it, no file of the user's is written or
// moved, nothing is written into the other user's link or pipe, and the save either
// leaves the user's new file at the chosen name or says that nothing was saved.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <utility>

#include "CoreFixture.h"
#include "platform/excel/Excel.h"
#include "platform/printer/Printer.h"
#include "platform/runtime/Runtime.h"

namespace qvx {
namespace {

namespace fs = std::filesystem;

// Answers as the scripted service does, and lets the other user act the moment the user
// has answered whether the earlier file is to be replaced.
class QuestionUi : public ui::ScriptedUi {
 public:
  std::function<void()> afterQuestion;
  ui::Answer Message(const ui::MessageRequest& request) override {
    const ui::Answer a = ScriptedUi::Message(request);
    if (request.buttons == ui::Buttons::YesNo && afterQuestion) std::exchange(afterQuestion, nullptr)();
    return a;
  }
};

class SharedFolderTest : public test::CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    auto asking = std::make_unique<QuestionUi>();
    asking_ = asking.get();
    previousUi_ = ui::SetUi(std::move(asking));
    printer::Environment() = {};
    shared_ = sharedDir_.path().toStdString();
    fs::permissions(shared_, fs::perms(02777));
    mine_ = homeDir_.path().toStdString() + "/private";  // the user's private folder
  }
  void TearDown() override {
    sys::SetScratchWatch({});
    ui::SetUi(std::move(previousUi_));
    CoreTest::TearDown();
  }

  // The entries of the shared folder.
  std::set<std::string> Names() const {
    std::set<std::string> n;
    for (const auto& e : fs::directory_iterator(shared_)) n.insert(e.path().filename().string());
    return n;
  }

  QTemporaryDir sharedDir_, homeDir_;
  std::string shared_, mine_;
  QuestionUi* asking_ = nullptr;
  std::unique_ptr<ui::UiService> previousUi_;
};

// What the other user does, and when.
enum class When { Before, AtQuestion, Made, Placing };

TEST_F(SharedFolderTest, AnotherUsersLinksAndPipesNeverTakeTheUsersFilesOrTheOutput) {
  G.DataSetFile = "QVXDataSet-Clearwater.Txt";
  const std::string dataSet = "DS-CompanyName=Clearwater Trading\r\n";
  WriteBytes(Path(G.DataSetFile), dataSet);

  struct Writer {
    const char* name;
    std::string file;
    std::function<void(const std::string& target)> save;  // raises when nothing is saved
    std::string head;                                     // how the new file begins
    bool asks;                                            // whether to replace the earlier file
  };
  const Writer writers[] = {
      {"PDF", "report.pdf",
       [this](const std::string& target) {
         asking_->QueueFile(target);
         asking_->QueueAnswer(ui::Answer::Yes);
         printer::Printer p(printer::kPdfDevice);
         p.Print({"Fresh report"});
         p.EndDoc();
       },
       "%PDF-", true},
      {"workbook", "REPORT.XLSX",
       [this](const std::string& target) {
         asking_->QueueAnswer(ui::Answer::Yes);
         excel::Workbook book;
         book.Worksheets(1).Cells(1, 1).SetValue("Fresh report");
         book.SaveAs(target);
       },
       "PK\x03\x04", true},
      {"backup", G.DataSetFile,
       [this](const std::string& target) {
         asking_->QueueFile(target);
         MainF::Instance().Show();
         MainF::Instance().Window()->MnuBackup_Click();
         const std::vector<std::string> shown = asking_->Messages();
         if (shown.empty() || shown.back().rfind("The DataSet file has been copied", 0) != 0)
           Raise(err::PathFileAccess, shown.empty() ? "no message" : shown.back());
       },
       "DS-CompanyName=", false},
  };

  struct Swap {
    const char* name;
    When when;
    std::function<void(const std::string& target)> act;
    bool saved;           // the user's new file is at the target afterwards
    std::string refusal;  // otherwise, what the user is told
  };
  auto fifo = [](const std::string& target) {
    fs::remove(target);
    ASSERT_EQ(::mkfifo(target.c_str(), 0666), 0);
  };
  auto linkToSecret = [this](const std::string& target) {
    fs::remove(target);
    fs::create_symlink(mine_ + "/secret.txt", target);
  };
  const Swap swaps[] = {
      // The scratch file's folder renamed away and a link to the user's private folder put
      // at its name: a writer or a commit that went by that name would make or write a
      // file in the user's folder, or move one of it onto the target.
      {"the scratch folder swapped for a link to a private folder", When::Made,
       [this](const std::string&) {
         for (const std::string& n : Names())
           if (n.rfind(".qvx-save-", 0) == 0) {
             fs::rename(shared_ + "/" + n, shared_ + "/moved-away");
             fs::create_symlink(mine_, shared_ + "/" + n);
           }
       },
       true, ""},
      {"a link at the name an earlier copy went through", When::Before,
       [this](const std::string& target) { fs::create_symlink(mine_ + "/secret.txt", target + ".copying"); }, true,
       ""},
      {"a pipe put at the name once the user agreed to replace", When::AtQuestion, fifo, false, " is a pipe"},
      {"a pipe put at the name while the output is written", When::Made, fifo, false, " is a pipe"},
      {"a link put at the name just before the output takes it", When::Placing, linkToSecret, false, " is a link"},
  };

  for (const Writer& w : writers) {
    for (const Swap& s : swaps) {
      SCOPED_TRACE(std::string(w.name) + ": " + s.name);
      for (const auto& e : fs::directory_iterator(shared_)) fs::remove_all(e.path());
      const std::string target = shared_ + "/" + w.file;
      WriteBytes(target, w.head + " the earlier file");
      fs::remove_all(mine_);
      fs::create_directory(mine_);
      fs::permissions(mine_, fs::perms(0700));
      WriteBytes(mine_ + "/secret.txt", "the user's secret");
      asking_->Clear();
      // The other user keeps both ends of the pipe, with room for a whole report in it, so
      // that a writer that opened it would neither wait nor go unnoticed.
      int pipeEnds = -1;
      auto act = [&] {
        s.act(target);
        if (fs::is_fifo(fs::symlink_status(target))) {
          pipeEnds = ::open(target.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
          ::fcntl(pipeEnds, F_SETPIPE_SZ, 1 << 20);
        }
      };
      // The backup asks nothing before it writes: there the other user acts as it starts.
      const When when = s.when == When::AtQuestion && !w.asks ? When::Made : s.when;
      if (when == When::Before) act();
      if (when == When::AtQuestion) asking_->afterQuestion = act;
      sys::SetScratchWatch([&](sys::ScratchStep at, const std::string&) {
        if (at == (when == When::Made ? sys::ScratchStep::Made : sys::ScratchStep::Placing) &&
            (when == When::Made || when == When::Placing))
          act();
      });
      std::string told;
      try {
        w.save(target);
      } catch (const std::exception& e) {
        told = CurrentErrorInfo(e).description;
      }
      sys::SetScratchWatch({});
      asking_->afterQuestion = nullptr;

      std::set<std::string> mine;
      for (const auto& e : fs::directory_iterator(mine_)) mine.insert(e.path().filename().string());
      EXPECT_EQ(mine, std::set<std::string>{"secret.txt"}) << "a file was made in, or moved out of, a private folder";
      EXPECT_TRUE(ReadBytes(mine_ + "/secret.txt") == "the user's secret") << "a private file was written or moved";
      EXPECT_TRUE(ReadBytes(Path(G.DataSetFile)) == dataSet) << "the data-set file was written";
      if (s.saved) {
        EXPECT_EQ(told, "");
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target))) << "the output's name is not the user's file";
        const std::string saved = ReadBytes(target);
        EXPECT_EQ(saved.substr(0, w.head.size()), w.head);
        EXPECT_NE(saved, w.head + " the earlier file");
      } else {
        const std::string refusal =
            target + s.refusal + ", not a file, so nothing was saved there and nothing was overwritten.";
        EXPECT_NE(told.find(refusal), std::string::npos) << told;
        EXPECT_EQ(Names(), std::set<std::string>{w.file}) << "something of the save was left behind";
      }
      if (pipeEnds >= 0) {
        char byte = 0;
        EXPECT_EQ(::read(pipeEnds, &byte, 1), -1) << "the output went into the other user's pipe";
        ::close(pipeEnds);
        EXPECT_TRUE(fs::is_fifo(fs::symlink_status(target)));
      }
      if (s.when == When::Placing) {
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(target)));
        std::error_code ec;
        EXPECT_EQ(fs::read_symlink(target, ec), mine_ + "/secret.txt");
      }
      for (const auto& e : fs::directory_iterator(folder_))
        EXPECT_NE(e.path().filename().string().rfind("QVXScratch.", 0), 0u) << "a scratch file's link was left";
    }
  }
}

}  // namespace
}  // namespace qvx
