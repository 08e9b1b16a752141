#pragma once
// "Photo Output Options" run offscreen: a settings store for it, its controls by
// identifier, and a run with a script that acts on the dialog once it is showing.

#include "control_ids_text.h"
#include "dialog_photo_options.h"
#include "modal_answerer.h"
#include "settings_store.h"
#include "test_world.h"

#include <QComboBox>
#include <QWidget>

#include <functional>
#include <memory>

namespace tallowin::ui {

class OptionsDialogFixture : public test::TestWorld {
protected:
    void SetUp() override {
        TestWorld::SetUp();
        store_ = std::make_unique<SettingsStore>();
    }

    template <typename Widget>
    static Widget* Find(QWidget* dialog, ControlId id) {
        auto* widget = dialog->findChild<Widget*>(ControlName(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    static bool Shown(QWidget* dialog, ControlId id) { return !Find<QWidget>(dialog, id)->isHidden(); }
    static bool Enabled(QWidget* dialog, ControlId id) { return Find<QWidget>(dialog, id)->isEnabled(); }
    static void Choose(QComboBox* combo, int index) {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    // Runs the dialog on `settings`; `script` acts on it once it is showing.
    int Run(CDialogPhotoOptions& dialog, const OutputSettings& settings, std::function<void(QWidget*)> script) {
        dialog.FromOutputSettings(settings);
        return answerer_.RunOnce(dialog, std::move(script));
    }

    std::unique_ptr<SettingsStore> store_;
    test::ModalAnswerer answerer_;
};

}  // namespace tallowin::ui
