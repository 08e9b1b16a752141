// What the window shows of a run: the status column with its tooltips, the Retry
// failed button, the text on the progress bar; and the one box for files an add could
// not take.

#include "photo_status.h"
#include "progress_bar.h"
#include "window_fixture.h"

#include <QHeaderView>
#include <QImage>
#include <QPushButton>

#include <atomic>
#include <thread>

namespace tallowin::test {
namespace {

constexpr int kStatusColumn = 5;

class StatusColumnTest : public WindowFixture {
protected:
    PhotoStatusBoard& Board() { return window_->Model().List().Statuses(); }
    uint64_t IdOf(int row) { return window_->Model().Photos()[static_cast<size_t>(row)].id; }
    // The run's threads report changes: the column follows once the window's thread
    // has had its turn.
    void ReportFromAWorker()
    {
        OnAWorker([this] { window_->Port().PhotoStatusesChanged(); });
    }
    // Runs `work` on a thread of its own while this thread serves the window, as the
    // run's workers do.
    template <typename Work> void OnAWorker(Work work)
    {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            work();
            done.store(true);
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 10000));
        worker.join();
    }
};

TEST_F(StatusColumnTest, TheColumnFollowsTheBoardByPhotoWhateverTheRow)
{
    OpenWithPhotos();
    EXPECT_EQ(List()->horizontalHeaderItem(kStatusColumn)->text(), "Status");
    // No run has taken the photos up yet.
    EXPECT_EQ(Cell(0, kStatusColumn), "");
    EXPECT_EQ(Cell(1, kStatusColumn), "");

    Board().Set(IdOf(0), {PhotoStatus::Waiting, ""});
    Board().Set(IdOf(1), {PhotoStatus::Failed, "The file is damaged."});
    ReportFromAWorker();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cell(1, kStatusColumn) == "failed"; }, 5000));
    EXPECT_EQ(List()->item(1, kStatusColumn)->toolTip(), "The file is damaged.");
    EXPECT_EQ(Cell(0, kStatusColumn), "waiting");
    EXPECT_EQ(List()->item(0, kStatusColumn)->toolTip(), "");

    Board().Set(IdOf(0), {PhotoStatus::ConvertedInPart, "The stamp did not fit."});
    ReportFromAWorker();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cell(0, kStatusColumn) == "converted in part"; }, 5000));
    EXPECT_EQ(List()->item(0, kStatusColumn)->toolTip(), "The stamp did not fit.");

    // Sorted by name the PNG comes first, and its status with it; the status heading
    // does not sort.
    emit List()->horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(Cell(0, 0), "basn2c08.png");
    EXPECT_EQ(Cell(0, kStatusColumn), "failed");
    emit List()->horizontalHeader()->sectionClicked(kStatusColumn);
    EXPECT_EQ(Cell(0, 0), "basn2c08.png");
}

TEST_F(StatusColumnTest, RetryFailedIsPressableWithAFailedPhotoAndNoRun)
{
    OpenWithPhotos();
    auto* retry = Control<QPushButton>(IDC_RETRY_FAILED);
    EXPECT_EQ(retry->text(), "&Retry failed");
    EXPECT_FALSE(retry->isEnabled());

    Board().Set(IdOf(0), {PhotoStatus::Converted, ""});
    Board().Set(IdOf(1), {PhotoStatus::Skipped, "It was there already."});
    window_->Port().PhotoStatusesChanged();
    EXPECT_FALSE(retry->isEnabled());
    Board().Set(IdOf(1), {PhotoStatus::Failed, "No room on the disk."});
    window_->Port().PhotoStatusesChanged();
    EXPECT_TRUE(retry->isEnabled());

    // A run starts (Convert becomes Stop) and ends (Convert again).
    window_->Model().Run().idle.store(0);
    OnAWorker([this] { window_->Port().SetControlText(IDC_CONVERT, "Stop"); });
    EXPECT_FALSE(retry->isEnabled());
    EXPECT_EQ(Control<QPushButton>(IDC_CONVERT)->text(), "S&top");
    EXPECT_EQ(window_->Port().ControlText(IDC_CONVERT), "Stop");
    window_->Model().Run().idle.store(1);
    OnAWorker([this] { window_->Port().SetControlText(IDC_CONVERT, "Convert"); });
    EXPECT_TRUE(retry->isEnabled());

    // The failed photo leaves the list: nothing to retry.
    window_->SelectRows({1});
    Control<QPushButton>(IDC_DELETE)->click();
    EXPECT_FALSE(retry->isEnabled());
}

TEST_F(StatusColumnTest, TheProgressBarShowsItsTextAsGiven)
{
    Open();
    auto* bar = Control<ui::ProgressBar>(IDC_PROGRESS);
    EXPECT_FALSE(bar->isTextVisible());
    // A name with a percent sign is no placeholder of the bar's format.
    const std::string text = "3 of 32 \xC2\xB7 100%p.jpg \xC2\xB7 about 1 min left";
    OnAWorker([&] { window_->Port().SetProgressText(text); });
    EXPECT_TRUE(bar->isTextVisible());
    EXPECT_EQ(bar->text().toStdString(), text);
    window_->Port().SetProgressText("");
    EXPECT_FALSE(bar->isTextVisible());

    // Filled to the middle, the left half is drawn unlike the right half.
    window_->Port().SetProgress(500);
    const QImage drawn = bar->grab().toImage();
    const int y = drawn.height() / 2;
    EXPECT_NE(drawn.pixel(drawn.width() / 4, y), drawn.pixel(drawn.width() * 3 / 4, y));
}

TEST_F(StatusColumnTest, FilesAnAddCouldNotTakeAreListedInOneBox)
{
    Open();
    const std::string damaged = WriteFile("photos/damaged.jpg", "\xFF\xD8\xFF\xE0 cut short").string();
    const std::string notes = WriteFile("photos/notes.png", "no picture").string();
    window_->AddChosenFiles(
        {QString::fromStdString(damaged), QString::fromStdString(bmp_), QString::fromStdString(notes)});
    EXPECT_EQ(List()->rowCount(), 1);
    ASSERT_EQ(answerer_.Boxes().size(), 1u);
    const std::string reason = "\n    It is not a photo that can be read, or it is damaged.";
    EXPECT_EQ(answerer_.Boxes()[0].text, "2 files could not be added:\n\n" + damaged + reason + "\n" + notes + reason);
    EXPECT_EQ(answerer_.Boxes()[0].caption, "Pictavo");
    EXPECT_EQ(answerer_.Boxes()[0].icon, QMessageBox::Warning);

    // The folder search says it once too.
    answerer_.ClearBoxes();
    window_->SearchFolder(QString::fromStdString(Path("photos").string()));
    EXPECT_EQ(List()->rowCount(), 3);
    ASSERT_EQ(answerer_.Boxes().size(), 1u);
    EXPECT_EQ(answerer_.Boxes()[0].text.rfind("2 files could not be added:", 0), 0u);
}

}  // namespace
}  // namespace tallowin::test
