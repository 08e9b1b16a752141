// Up, Down, Delete, Clear, sort, Edit and Options on the photo list.

#include "engine_world.h"

#include <gmock/gmock.h>

namespace tallowin::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class PhotoListOpsTest : public EngineWorld {
protected:
    void Fill(int count)
    {
        for (int i = 0; i < count; ++i) model->Photos().push_back(Photo(std::string(1, static_cast<char>('a' + i))));
    }
    std::string Order() const
    {
        std::string order;
        for (const PhotoRecord& photo : model->Photos()) order += photo.fileName;
        return order;
    }
};

TEST_F(PhotoListOpsTest, UpMovesTheSelectedBlockUnlessTheFirstRowIsInIt)
{
    Fill(5);
    EXPECT_THAT(model->List().MoveUp({1, 2}), ElementsAre(0, 1));
    EXPECT_EQ(Order(), "bcade");
    EXPECT_THAT(model->List().MoveUp({0, 3}), ElementsAre(0, 3));
    EXPECT_EQ(Order(), "bcade");
    EXPECT_THAT(model->List().MoveUp({2, 4}), ElementsAre(1, 3));
    EXPECT_EQ(Order(), "baced");
    EXPECT_THAT(port.Messages(), IsEmpty());
}

TEST_F(PhotoListOpsTest, DownMovesTheSelectedBlockUnlessTheLastRowIsInIt)
{
    Fill(5);
    EXPECT_THAT(model->List().MoveDown({1, 2}), ElementsAre(2, 3));
    EXPECT_EQ(Order(), "adbce");
    EXPECT_THAT(model->List().MoveDown({0, 4}), ElementsAre(0, 4));
    EXPECT_EQ(Order(), "adbce");
    EXPECT_THAT(port.Messages(), IsEmpty());
}

TEST_F(PhotoListOpsTest, NothingSelectedAsksForASelectionExceptWithOnePhoto)
{
    Fill(1);
    model->List().MoveUp({});
    model->List().MoveDown({});
    EXPECT_THAT(port.Messages(), IsEmpty());  // a single photo: Up and Down do nothing at all

    Fill(2);
    model->List().MoveUp({});
    model->List().MoveDown({});
    model->List().DeleteSelected({});
    model->List().EditSelected({}, [](const OutputSettings& s) { return std::optional<OutputSettings>(s); });
    EXPECT_THAT(port.MessageTexts(), ElementsAre("Please select items!", "Please select items!",
                                                 "Please select items!", "Please select items!"));
    EXPECT_EQ(port.Messages()[0].caption, "Pictavo");
    EXPECT_EQ(model->Photos().size(), 3u);
}

TEST_F(PhotoListOpsTest, EditOnAnEmptyListAsksForASelection)
{
    model->List().EditSelected({}, [](const OutputSettings&) { return std::optional<OutputSettings>(); });
    EXPECT_THAT(port.MessageTexts(), ElementsAre("Please select items!"));
    model->List().DeleteSelected({});  // an empty list: silent
    EXPECT_EQ(port.Messages().size(), 1u);
}

TEST_F(PhotoListOpsTest, DeleteRemovesExactlyTheSelectedRecords)
{
    Fill(5);
    EXPECT_THAT(model->List().DeleteSelected({0, 2, 3}), IsEmpty());
    EXPECT_EQ(Order(), "be");
    EXPECT_EQ(port.ControlText(IDC_TOTAL_PHOTOS), "Total photos: 2");
    EXPECT_EQ(port.PreviewDrops(), 1);
    // rows that are not in the list are ignored rather than trusted
    model->List().DeleteSelected({1, 7, -1});
    EXPECT_EQ(Order(), "b");
}

TEST_F(PhotoListOpsTest, ClearEmptiesTheListAndDisablesThePhotoButtons)
{
    model->List().Clear();  // on an empty list too
    EXPECT_EQ(port.ControlText(IDC_TOTAL_PHOTOS), "Total photos: 0");
    Fill(3);
    model->List().Clear();
    EXPECT_THAT(model->Photos(), IsEmpty());
    for (ControlId id : {IDC_CONVERT, IDC_EDIT, IDC_UP, IDC_DOWN, IDC_DELETE, IDC_CLEAR})
        EXPECT_FALSE(port.Enabled().at(id)) << id;
    EXPECT_THAT(port.Messages(), IsEmpty());
}

TEST_F(PhotoListOpsTest, SortsByteWiseAndAlternateDirectionAcrossClear)
{
    model->Photos() = {Photo("apple.jpg"), Photo("Photo.jpg"), Photo("banana.jpg"), Photo("Zebra.jpg")};
    model->List().SortByColumn(ColumnFileName);
    EXPECT_EQ(model->Photos()[0].fileName, "Photo.jpg");
    EXPECT_EQ(model->Photos()[1].fileName, "Zebra.jpg");
    EXPECT_EQ(model->Photos()[3].fileName, "banana.jpg");
    model->List().SortByColumn(ColumnFileName);
    EXPECT_EQ(model->Photos()[0].fileName, "banana.jpg");

    model->List().Clear();
    model->Photos() = {Photo("b"), Photo("a")};
    model->List().SortByColumn(ColumnFileName);  // the state survived Clear: this is ascending
    EXPECT_EQ(model->Photos()[0].fileName, "a");
    model->Photos() = {Photo("b"), Photo("a")};
    model->List().SortByColumn(ColumnFileName);  // now descending
    EXPECT_EQ(model->Photos()[0].fileName, "b");
}

TEST_F(PhotoListOpsTest, TimeSortIsChronologicalWithUnknownTimesFirst)
{
    model->Photos() = {Photo("x", 1, 1, "2011/03/05 14:07:09"), Photo("y", 1, 1, ""),
                     Photo("z", 1, 1, "2010/12/31 23:59:59"), Photo("w", 1, 1, "2011/03/05 09:07:09")};
    model->List().SortByColumn(ColumnTime);
    EXPECT_EQ(Order(), "yzwx");
    model->List().SortByColumn(ColumnTime);
    EXPECT_EQ(Order(), "xwzy");
    const int rebuilds = port.ListRebuilds();
    for (int column : {ColumnSize, ColumnOutputSize, ColumnRotate}) model->List().SortByColumn(column);
    EXPECT_EQ(Order(), "xwzy");
    EXPECT_EQ(port.ListRebuilds(), rebuilds + 3);
}

TEST_F(PhotoListOpsTest, EditOpensOneDialogPerSelectedPhotoAndCancelSkipsOnlyThatOne)
{
    model->Photos() = {Photo("a", 1000, 500), Photo("b", 1000, 500), Photo("c", 1000, 500), Photo("d", 1000, 500)};
    int dialogs = 0;
    const auto dialog = [&](const OutputSettings& settings) -> std::optional<OutputSettings> {
        if (++dialogs == 2) return std::nullopt;
        OutputSettings edited = settings;
        edited.nOutputWidth = 400;
        edited.nRotateAngel = 90;
        return edited;
    };
    model->List().EditSelected({0, 1, 3}, dialog);
    EXPECT_EQ(dialogs, 3);
    EXPECT_EQ(model->Photos()[0].settings.nOutputWidth, 400);
    EXPECT_EQ(model->Photos()[0].settings.nOutputHeight, 200);  // recomputed
    EXPECT_EQ(model->Photos()[1].settings, OutputSettings{});
    EXPECT_EQ(model->Photos()[2].settings, OutputSettings{});
    EXPECT_EQ(model->Photos()[3].settings.nRotateAngel, 90);
}

TEST_F(PhotoListOpsTest, OptionsAppliesToAllOnlyWhenTheUserAgrees)
{
    OutputSettings chosen;
    chosen.nKeepAspectRatio = 1;
    chosen.nOutputWidth = 800;
    chosen.nOuptputFormat = FormatPng;
    const auto dialog = [&](const OutputSettings&) { return std::optional<OutputSettings>(chosen); };

    model->Options(dialog);  // an empty list: nothing asked, nothing rebuilt
    EXPECT_EQ(model->Settings().current, chosen);
    EXPECT_THAT(port.Messages(), IsEmpty());
    EXPECT_EQ(port.ListRebuilds(), 0);

    model->Photos() = {Photo("wide", 1600, 1200), Photo("tall", 1200, 1600)};
    chosen.nOuptputFormat = FormatJpg;
    model->Options(dialog);  // the fake answers No
    EXPECT_EQ(model->Photos()[0].settings, OutputSettings{});
    EXPECT_EQ(port.ListRebuilds(), 1);
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].text, "Do you want to change all output settings of photos?");
    EXPECT_EQ(port.Messages()[0].caption, "Question");
    EXPECT_EQ(port.Messages()[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(port.Messages()[0].icon, MessageIcon::Question);

    port.QueueAnswer(MessageAnswer::Yes);
    model->Options(dialog);
    EXPECT_EQ(model->Photos()[0].settings.nOuptputFormat, FormatJpg);
    EXPECT_EQ(model->Photos()[0].settings.nOutputHeight, 600);
    EXPECT_EQ(model->Photos()[1].settings.nOutputHeight, 1066);

    model->Options([](const OutputSettings&) { return std::optional<OutputSettings>(); });  // Cancel
    EXPECT_EQ(model->Settings().current, chosen);
    EXPECT_EQ(port.Messages().size(), 2u);
}

}  // namespace
}  // namespace tallowin::test
