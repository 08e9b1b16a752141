// Start, Exit and the update reminder, the control exchange and the stamp position check.

#include "engine_world.h"
#include "settings_keys.h"

#include <gmock/gmock.h>

#include <sys/wait.h>
#include <unistd.h>

namespace tallowin::test {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

using WindowModelTest = EngineWorld;

constexpr std::time_t kDay = 24 * 60 * 60;
constexpr std::time_t kStored = 1'700'000'000;

TEST_F(WindowModelTest, InitialiseCreatesTheDefaultFolderAndLoadsTheWdpLibrary)
{
    model->Initialise(FAKE_LIBPHOTO_DIR);
    const std::string expected = Path("home/Pictures/Pictavo/").string();
    EXPECT_EQ(model->Settings().outputFolder, expected);
    EXPECT_TRUE(fs::is_directory(expected));
    EXPECT_EQ(model->Log().FilePath(), expected + "Tallowin.log");
    EXPECT_TRUE(model->Wdp().IsLoaded());
    EXPECT_THAT(port.Messages(), IsEmpty());
    EXPECT_EQ(port.ControlText(IDC_OUTPUT_FOLDER), expected);
    EXPECT_EQ(port.ControlText(IDC_PREFIX), "output.photo");
    EXPECT_EQ(port.ControlText(IDC_STAMP_X), "0");
    EXPECT_FALSE(port.Enabled().at(IDC_CONVERT));
}

TEST_F(WindowModelTest, InitialiseRemovesStagedFilesThatEndedRunsLeftInTheOutputFolder)
{
    const pid_t ended = fork();  // a process id that no longer runs once reaped
    if (ended == 0) _exit(0);
    int status = 0;
    waitpid(ended, &status, 0);
    const std::string run = "home/Pictures/Pictavo/2024.03.07.14.05.09/";
    const std::string abandoned = ".photo." + std::to_string(ended) + "-0.part.jpg";
    const std::string running = ".photo." + std::to_string(getpid()) + "-1.part.jpg";
    for (const std::string& name : {abandoned, running, std::string("photo.jpg")}) WriteFile(run + name, "x");
    model->Initialise(FAKE_LIBPHOTO_DIR);
    EXPECT_FALSE(fs::exists(Path(run + abandoned)));
    EXPECT_TRUE(fs::exists(Path(run + running)));
    EXPECT_TRUE(fs::exists(Path(run + "photo.jpg")));
}

TEST_F(WindowModelTest, AStoredOutputFolderWinsButTheDefaultFolderIsStillCreated)
{
    store->WriteProfileString(keys::kOption, keys::kPhotoOutputFolder, "/typed/without/slash");
    model->Initialise(FAKE_LIBPHOTO_DIR);
    EXPECT_EQ(model->Settings().outputFolder, "/typed/without/slash/");
    EXPECT_EQ(model->Log().FilePath(), "/typed/without/slash/Tallowin.log");
    EXPECT_TRUE(fs::is_directory(Path("home/Pictures/Pictavo")));
}

TEST_F(WindowModelTest, AnEmptyStoredOutputFolderIsNoFolder)
{
    // Left by a run that stored an emptied box: it would have become "/".
    store->WriteProfileString(keys::kOption, keys::kPhotoOutputFolder, "");
    model->Initialise(FAKE_LIBPHOTO_DIR);
    EXPECT_EQ(model->Settings().outputFolder, Path("home/Pictures/Pictavo/").string());
}

TEST_F(WindowModelTest, ADefaultFolderThatCannotBeMadeFallsBackToThePicturesFolder)
{
    WriteFile("home/Pictures/Pictavo", "a file where the folder should be");
    model->Initialise(FAKE_LIBPHOTO_DIR);
    const std::string pictavo = Path("home/Pictures/Pictavo/").string();
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].text, "Can not create the directory");
    EXPECT_EQ(port.Messages()[0].caption, pictavo);
    EXPECT_EQ(model->Settings().outputFolder, Path("home/Pictures/").string());
}

TEST_F(WindowModelTest, WdpLibraryMessagesNameWhatIsMissing)
{
    model->Initialise(Root().string() + "/");
    EXPECT_THAT(port.MessageTexts(), ElementsAre("Can not load libphoto.so."));
    EXPECT_EQ(port.Messages()[0].caption, "Pictavo");
    EXPECT_FALSE(model->Wdp().IsLoaded());
    EXPECT_FALSE(model->Wdp().DecodeWdpFile(Path("a.wdp").string(), Path("a.bmp").string()));
    EXPECT_FALSE(model->Wdp().EncodeWdpFile(Path("a.bmp").string(), Path("a.wdp").string(), 60));
    EXPECT_EQ(port.Messages().size(), 1u);  // the bridge itself is silent without a library
}

TEST_F(WindowModelTest, EncodeHandsTheEncoderValueOverAsText)
{
    ASSERT_TRUE(model->Wdp().LoadWdpCodecLibrary(FAKE_LIBPHOTO_DIR));
    const std::string out = Path("out.wdp").string();
    EXPECT_TRUE(model->Wdp().EncodeWdpFile("in.bmp", out, 60));
    EXPECT_EQ(ReadFile(out), "fake wdp from in.bmp quality 60");
}

TEST_F(WindowModelTest, ExitIsRefusedWhileARunIsActiveOrAWorkerIsAlive)
{
    model->Initialise(FAKE_LIBPHOTO_DIR);
    model->Run().idle = 0;
    EXPECT_FALSE(model->Exit());
    model->Run().idle = 1;
    model->Run().workerAlive = true;  // a stop was asked but the worker has not ended
    EXPECT_FALSE(model->CloseRequest());
    EXPECT_THAT(port.MessageTexts(), ElementsAre("Please stop converting first", "Please stop converting first"));
    EXPECT_EQ(port.Messages()[0].caption, "Warning");
    EXPECT_TRUE(model->Wdp().IsLoaded());
    EXPECT_EQ(store->GetProfileString(keys::kOption, keys::kPhotoOutputFolder, "none"), "none");
    EXPECT_EQ(store->GetProfileInt(keys::kSetup, keys::kFirstUpdate, -1), -1);
}

TEST_F(WindowModelTest, ExitWritesWhatTheWindowHoldsAndTheNextStartReadsIt)
{
    model->Initialise(FAKE_LIBPHOTO_DIR);
    port.Type(IDC_OUTPUT_FOLDER, "/srv/photos");
    port.Type(IDC_PREFIX, "trip");
    port.Type(IDC_STAMP_X, "12");
    port.Type(IDC_STAMP_Y, "y?");
    LOGFONTA font = model->Stamp().Font();
    font.lfWeight = 700;
    model->Stamp().SetFont(font);
    model->Stamp().SetColour(0x0000FF);

    EXPECT_TRUE(model->CloseRequest());
    // the failed exchange is reported and leaving goes on
    EXPECT_THAT(port.MessageTexts(), ElementsAre("Enter an integer."));
    EXPECT_FALSE(model->Wdp().IsLoaded());
    EXPECT_EQ(store->GetProfileString(keys::kOption, keys::kPhotoOutputFolder, ""), "/srv/photos");
    EXPECT_NE(store->GetProfileInt(keys::kSetup, keys::kFirstUpdate, 0), 0);  // first Exit: stored, nothing asked

    Restart();
    model->Initialise(FAKE_LIBPHOTO_DIR);
    EXPECT_EQ(model->Settings().outputFolder, "/srv/photos/");  // the slash comes back at start
    EXPECT_EQ(model->Settings().renamePrefix, "trip");
    EXPECT_EQ(model->Stamp().Font().lfWeight, 700);
    EXPECT_EQ(model->Stamp().Colour(), 0x0000FFu);
    EXPECT_EQ(model->Settings().stampX, 12);  // the boxes as they were read before the refused one
}

TEST_F(WindowModelTest, ExchangeStopsAtTheFirstBoxThatHoldsNoInteger)
{
    model->Settings().stampX = 5;
    model->Settings().stampY = 6;
    port.Type(IDC_OUTPUT_FOLDER, "/a/");
    port.Type(IDC_PREFIX, "p");
    port.Type(IDC_STAMP_X, "1.5");
    port.Type(IDC_STAMP_Y, "7");
    EXPECT_FALSE(model->ExchangeFromControls());
    EXPECT_EQ(model->Settings().outputFolder, "/a/");
    EXPECT_EQ(model->Settings().renamePrefix, "p");
    EXPECT_EQ(model->Settings().stampX, 5);
    EXPECT_EQ(model->Settings().stampY, 6);
    EXPECT_EQ(port.Messages()[0].caption, "Pictavo");

    port.Type(IDC_STAMP_X, " -40 ");
    port.Type(IDC_STAMP_Y, "99999999999");
    EXPECT_FALSE(model->ExchangeFromControls());
    EXPECT_EQ(model->Settings().stampX, -40);
    EXPECT_EQ(model->Settings().stampY, 6);
}

TEST_F(WindowModelTest, BrowseKeepsWhatTheUserTypedInTheOtherBoxes)
{
    port.Type(IDC_PREFIX, "typed");
    model->OutputFolderChosen("/media/card");
    EXPECT_EQ(model->Settings().outputFolder, "/media/card/");
    EXPECT_EQ(port.ControlText(IDC_OUTPUT_FOLDER), "/media/card/");
    EXPECT_EQ(port.ControlText(IDC_PREFIX), "typed");
}

TEST_F(WindowModelTest, NotRenameTogglesThePrefixControls)
{
    model->ToggleNotRename();
    EXPECT_TRUE(model->Settings().notRename);
    EXPECT_FALSE(port.Enabled().at(IDC_PREFIX));
    EXPECT_FALSE(port.Enabled().at(IDC_PREFIX_LABEL));
    model->ToggleNotRename();
    EXPECT_FALSE(model->Settings().notRename);
    EXPECT_TRUE(port.Enabled().at(IDC_PREFIX_SUFFIX_LABEL));
}

TEST_F(WindowModelTest, TextPositionIsCheckedAgainstTheCurrentOutputSize)
{
    port.Type(IDC_STAMP_X, "1023");
    port.Type(IDC_STAMP_Y, "-5");
    EXPECT_TRUE(model->CheckTextPosition(1024, 768));
    EXPECT_THAT(port.Messages(), IsEmpty());

    port.Type(IDC_STAMP_X, "1024px");  // the leading integer counts
    port.Type(IDC_STAMP_Y, "800");
    EXPECT_TRUE(model->CheckTextPosition(1024, 768));
    EXPECT_THAT(port.MessageTexts(),
                ElementsAre("The text position X is bigger than the photo width!, The program set it to 0 now.",
                            "The text position Y is bigger than the photo height!, The program set it to 0 now."));
    EXPECT_EQ(port.Messages()[0].caption, "Warning");
    EXPECT_EQ(port.ControlText(IDC_STAMP_X), "0");
    EXPECT_EQ(port.ControlText(IDC_STAMP_Y), "0");

    port.ClearMessages();
    port.Type(IDC_STAMP_X, "abc");  // no digits reads as 0
    port.Type(IDC_STAMP_Y, "99999999999999");  // beyond 32 bits: saturates, still too big
    EXPECT_TRUE(model->CheckTextPosition(1, 1));
    EXPECT_THAT(port.MessageTexts(),
                ElementsAre("The text position Y is bigger than the photo height!, The program set it to 0 now."));
}

// ---- Update reminder ----

TEST_F(WindowModelTest, UpdatePromptAsksOnlyAfter180Days)
{
    store->WriteProfileInt(keys::kSetup, keys::kFirstUpdate, static_cast<int32_t>(kStored));
    model->UpdatePrompt("https://example.org/product", kStored + 179 * kDay);
    EXPECT_THAT(port.Messages(), IsEmpty());
    EXPECT_EQ(store->GetProfileInt(keys::kSetup, keys::kFirstUpdate, 0), kStored);

    model->UpdatePrompt("https://example.org/product", kStored + 181 * kDay);  // answered No
    ASSERT_EQ(port.Messages().size(), 1u);
    const ShownMessage question = port.Messages()[0];
    EXPECT_EQ(question.text, "Do you want to check the lastest version on our website?");
    EXPECT_EQ(question.caption, "Update the program");
    EXPECT_EQ(question.buttons, MessageButtons::YesNo);
    EXPECT_EQ(question.owner, MessageOwner::None);
    EXPECT_THAT(port.Opened(), IsEmpty());
    EXPECT_EQ(store->GetProfileInt(keys::kSetup, keys::kFirstUpdate, 0), kStored + 181 * kDay);

    model->UpdatePrompt("https://example.org/product", kStored + 182 * kDay);  // a new period began
    EXPECT_EQ(port.Messages().size(), 1u);
}

TEST_F(WindowModelTest, UpdatePromptYesOpensThePageAndReportsABrowserThatWillNotStart)
{
    store->WriteProfileInt(keys::kSetup, keys::kFirstUpdate, static_cast<int32_t>(kStored));
    port.QueueAnswer(MessageAnswer::Yes);
    port.SetOpenSucceeds(false);
    model->UpdatePrompt("https://example.org/product", kStored + 181 * kDay);
    EXPECT_THAT(port.Opened(), ElementsAre("https://example.org/product"));
    ASSERT_EQ(port.Messages().size(), 2u);
    EXPECT_EQ(port.Messages()[1].text,
              "The Program does not launch your web browser to access https://www.veltrane.com/ ,\n"
              "Please launch your web browser and input the URL manually.");
    EXPECT_EQ(port.Messages()[1].caption, "unknown errors");
    EXPECT_EQ(port.Messages()[1].owner, MessageOwner::None);
    EXPECT_EQ(store->GetProfileInt(keys::kSetup, keys::kFirstUpdate, 0), kStored + 181 * kDay);
}

TEST_F(WindowModelTest, UpdateButtonReportsABrowserThatWillNotStart)
{
    port.SetOpenSucceeds(false);
    model->Update();
    EXPECT_THAT(port.Opened(), ElementsAre("https://www.veltrane.com/"));
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].caption, "Unknown error");
    EXPECT_EQ(port.Messages()[0].owner, MessageOwner::MainWindow);
}

}  // namespace
}  // namespace tallowin::test
