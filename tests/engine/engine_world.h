#pragma once
// A test world with the scripted port, a settings store in the test's own settings home
// and the window's model over both.

#include "fake_window_port.h"
#include "main_window_model.h"
#include "settings_store.h"
#include "test_world.h"

#include <memory>

namespace tallowin::test {

class EngineWorld : public TestWorld {
protected:
    void SetUp() override
    {
        TestWorld::SetUp();
        store = std::make_unique<SettingsStore>();
        model = std::make_unique<MainWindowModel>(port, *store);
    }
    void TearDown() override
    {
        model.reset();
        store.reset();
        TestWorld::TearDown();
    }
    // A fresh model over the same store, as at the next start of the program.
    void Restart()
    {
        model.reset();
        store = std::make_unique<SettingsStore>();
        model = std::make_unique<MainWindowModel>(port, *store);
    }

    FakeWindowPort port;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<MainWindowModel> model;
};

// A photo of the given source size with the default settings.
inline PhotoRecord Photo(const std::string& name, int32_t width = 100, int32_t height = 100,
                         const std::string& timeText = {})
{
    PhotoRecord photo;
    photo.fileName = name;
    photo.sourcePath = "/photos/" + name;
    photo.width = width;
    photo.height = height;
    photo.timeText = timeText;
    return photo;
}

}  // namespace tallowin::test
