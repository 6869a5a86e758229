// The files the program saves for the user (a PDF, a workbook, the data-set backup) in a
// folder that another user may write to without the sticky bit: whatever that user puts
// at the names the save uses, at each step of it, no file of the user's is written or
// moved, nothing is written into the other user's link or pipe, and the save either
// leaves the user's new file at the chosen name or says that nothing was saved. On a disk
// that keeps no Unix permissions it saves, and leaves nothing beside the file either.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <utility>

#include "CoreFixture.h"
#include "platform/excel/Excel.h"
#include "platform/printer/Printer.h"
#include "platform/runtime/Runtime.h"
#include "platform/sys/SafeSave.h"

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

const std::string kDataSet = "DS-CompanyName=Clearwater Trading\r\n";

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
    G.DataSetFile = "QVXDataSet-Clearwater.Txt";
    WriteBytes(Path(G.DataSetFile), kDataSet);
  }
  void TearDown() override {
    sys::SetScratchWatch({});
    sys::SetShownOwnership({});
    ui::SetUi(std::move(previousUi_));
    CoreTest::TearDown();
  }

  // Each save starts afresh: the shared folder empty but for an earlier file (when asked),
  // the user's private folder holding only its secret, nothing asked yet.
  void Afresh(const std::string& target, const std::string& earlier) {
    for (const auto& e : fs::directory_iterator(shared_)) fs::remove_all(e.path());
    if (!earlier.empty()) WriteBytes(target, earlier);
    fs::remove_all(mine_);
    fs::create_directory(mine_);
    fs::permissions(mine_, fs::perms(0700));
    WriteBytes(mine_ + "/secret.txt", "the user's secret");
    asking_->Clear();
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

  // The three files the program saves for the user: each raises when nothing is saved.
  struct Writer {
    const char* name;
    std::string file;
    std::function<void(const std::string& target)> save;  // raises when nothing is saved
    std::string head;                                     // how the new file begins
    bool asks;                                            // whether to replace the earlier file
  };
  const std::vector<Writer> writers_ = {
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
      {"backup", "QVXDataSet-Clearwater.Txt",
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

  std::unique_ptr<ui::UiService> previousUi_;
};

// What the other user does, and when.
enum class When { Before, AtQuestion, FolderMade, Made, Placing, Looked, Taking };

TEST_F(SharedFolderTest, AnotherUsersLinksAndPipesNeverTakeTheUsersFilesOrTheOutput) {
  struct Swap {
    const char* name;
    When when;
    // What the other user does; the names it adds to the shared folder stay theirs.
    std::function<void(const std::string& target, std::set<std::string>& theirs)> act;
    bool saved;         // the user's new file is at the target afterwards
    std::string told;   // otherwise, what the user is told after the target's name, or
                        // after the scratch folder's ("made there ...")
    bool earlier = true;  // an earlier file of the user's at the target
  };
  auto fifo = [](const std::string& target, std::set<std::string>&) {
    fs::remove(target);
    ASSERT_EQ(::mkfifo(target.c_str(), 0666), 0);
  };
  auto linkToSecret = [this](const std::string& target, std::set<std::string>&) {
    fs::remove(target);
    fs::create_symlink(mine_ + "/secret.txt", target);
  };
  // The scratch file's folder renamed away and something else put at its name.
  auto swapFolder = [this](std::function<void(const std::string& at)> put) {
    return [this, put](const std::string&, std::set<std::string>& theirs) {
      for (const std::string& n : Names())
        if (n.rfind(".qvx-save-", 0) == 0) {
          fs::rename(shared_ + "/" + n, shared_ + "/moved-away");
          put(shared_ + "/" + n);
          theirs.insert({n, "moved-away"});
        }
    };
  };
  auto linkToPrivate = swapFolder([this](const std::string& at) { fs::create_symlink(mine_, at); });
  // As root the folder is another user's; otherwise the user's own, which no more keeps
  // others out.
  const passwd* nobody = ::getpwnam("nobody");
  const bool asRoot = ::geteuid() == 0 && nobody;
  auto openFolder = swapFolder([&](const std::string& at) {
    fs::create_directory(at);
    fs::permissions(at, fs::perms(0777));
    if (asRoot) {
      ASSERT_EQ(::chown(at.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
  });
  const std::string openFolderFound = std::string(" for this user alone (0700) was found owned by user ") +
                                      (asRoot ? "nobody" : ::getpwuid(::geteuid())->pw_name) +
                                      " with permissions 0777.";
  std::vector<Swap> swaps = {
      // A writer or a commit that went by the scratch folder's name would make or write a
      // file in the user's folder, or move one of it onto the target.
      {"the scratch folder swapped for a link to a private folder", When::Made, linkToPrivate, true, ""},
      {"the scratch folder swapped for a link to a private folder as it is made", When::FolderMade, linkToPrivate,
       false, " was found to be a link."},
      {"the scratch folder swapped for an open folder as it is made", When::FolderMade, openFolder, false,
       openFolderFound},
      {"a link at the name an earlier copy went through", When::Before,
       [this](const std::string& target, std::set<std::string>& theirs) {
         fs::create_symlink(mine_ + "/secret.txt", target + ".copying");
         theirs.insert(fs::path(target).filename().string() + ".copying");
       },
       true, ""},
      {"a pipe put at the name once the user agreed to replace", When::AtQuestion, fifo, false, " is a pipe"},
      {"a pipe put at the name while the output is written", When::Made, fifo, false, " is a pipe"},
      {"a link put at the name just before the output takes it", When::Placing, linkToSecret, false, " is a link"},
      {"a link put in place of the earlier file once it was looked at", When::Taking, linkToSecret, false,
       " is a link"},
      {"a link put at the free name once it was looked at", When::Taking, linkToSecret, false, " is a link", false},
  };
  // On a disk formatted for Windows, a USB stick or a network share every file and folder
  // shows the owner and permissions its mount gives, whatever the program sets (stood in
  // for by sys::SetShownOwnership): each output is saved there, new and over an earlier
  // file.
  const unsigned me = ::geteuid(), other = me == 0 ? 65534 : 0;
  struct Mount {
    const char* name;
    unsigned owner, folders, files;
  };
  for (const Mount m : {Mount{"NTFS by ntfs-3g, for the user who mounted it", me, 0777, 0777},
                        Mount{"NTFS by ntfs-3g with allow_other, for another user", other, 0777, 0777},
                        Mount{"a FAT stick, folders 0755 by its dmask", me, 0755, 0644},
                        Mount{"a CIFS share with its default dir_mode and file_mode", other, 0755, 0755}})
    for (const bool earlier : {false, true})
      swaps.push_back({m.name, When::Before,
                       [m](const std::string&, std::set<std::string>&) {
                         sys::SetShownOwnership([m](unsigned& owner, unsigned& permissions, bool folder) {
                           owner = m.owner;
                           permissions = folder ? m.folders : m.files;
                         });
                       },
                       true, "", earlier});

  for (const Writer& w : writers_) {
    for (const Swap& s : swaps) {
      SCOPED_TRACE(std::string(w.name) + ": " + s.name + (s.earlier ? "" : ", at a free name"));
      const std::string target = shared_ + "/" + w.file;
      Afresh(target, s.earlier ? w.head + " the earlier file" : "");
      // The other user keeps both ends of the pipe, with room for a whole report in it, so
      // that a writer that opened it would neither wait nor go unnoticed.
      int pipeEnds = -1;
      std::set<std::string> theirs;
      bool acted = false;
      auto act = [&] {
        if (std::exchange(acted, true)) return;
        s.act(target, theirs);
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
        const When now = at == sys::ScratchStep::FolderMade ? When::FolderMade
                         : at == sys::ScratchStep::Made     ? When::Made
                         : at == sys::ScratchStep::Placing  ? When::Placing
                         : at == sys::ScratchStep::Looked   ? When::Looked
                         : at == sys::ScratchStep::Taking   ? When::Taking
                                                            : When::Before;
        if (now == when) act();
      });
      std::string told;
      try {
        w.save(target);
      } catch (const std::exception& e) {
        told = CurrentErrorInfo(e).description;
      }
      sys::SetScratchWatch({});
      sys::SetShownOwnership({});
      asking_->afterQuestion = nullptr;
      EXPECT_TRUE(acted) << "the other user never had the moment to act";

      std::set<std::string> mine;
      for (const auto& e : fs::directory_iterator(mine_)) mine.insert(e.path().filename().string());
      EXPECT_EQ(mine, std::set<std::string>{"secret.txt"}) << "a file was made in, or moved out of, a private folder";
      EXPECT_TRUE(ReadBytes(mine_ + "/secret.txt") == "the user's secret") << "a private file was written or moved";
      EXPECT_TRUE(ReadBytes(Path(G.DataSetFile)) == kDataSet) << "the data-set file was written";
      std::set<std::string> left = theirs;
      left.insert(w.file);
      if (s.saved) {
        EXPECT_EQ(told, "");
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target))) << "the output's name is not the user's file";
        const std::string saved = ReadBytes(target);
        EXPECT_EQ(saved.substr(0, w.head.size()), w.head);
        EXPECT_NE(saved, w.head + " the earlier file");
        EXPECT_EQ(Names(), left) << "something of the save was left behind";
      } else {
        if (s.told.rfind(" is ", 0) == 0) {
          EXPECT_NE(told.find(target + s.told + ", not a file, so nothing was saved there and nothing was overwritten."),
                    std::string::npos)
              << told;
        } else {
          EXPECT_NE(told.find("The folder " + shared_ + " cannot be written: the scratch folder .qvx-save-"),
                    std::string::npos)
              << told;
          EXPECT_NE(told.find(" made there" + s.told), std::string::npos) << told;
        }
        EXPECT_EQ(Names(), left) << "something of the save was left behind";
        for (const std::string& n : theirs)
          if (fs::is_directory(fs::symlink_status(shared_ + "/" + n))) {
            EXPECT_TRUE(fs::is_empty(shared_ + "/" + n)) << "something of the save was left in " << n;
          }
      }
      if (pipeEnds >= 0) {
        char byte = 0;
        EXPECT_EQ(::read(pipeEnds, &byte, 1), -1) << "the output went into the other user's pipe";
        ::close(pipeEnds);
        EXPECT_TRUE(fs::is_fifo(fs::symlink_status(target)));
      }
      if (s.when == When::Placing || s.when == When::Taking) {
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
