#pragma once
// A "Pictavo" window opened offscreen with two photos at hand, its controls found by id,
// and the modal answerer that records its boxes.

#include "control_ids_text.h"
#include "convert/conversion_run.h"
#include "main_window_model.h"
#include "modal_answerer.h"
#include "settings_store.h"
#include "tallowin_dlg.h"
#include "test_world.h"

#include <QMessageBox>
#include <QString>
#include <QTableWidget>
#include <QTest>

#include <filesystem>
#include <memory>
#include <string>

namespace tallowin::test {

class WindowFixture : public TestWorld {
protected:
    void SetUp() override
    {
        TestWorld::SetUp();
        store_ = std::make_unique<SettingsStore>();
        std::filesystem::create_directories(Path("photos"));
        bmp_ = Path("photos/rgb24.bmp").string();  // 127 x 64
        png_ = Path("photos/basn2c08.png").string();  // 32 x 32
        std::filesystem::copy_file(DataDir() / "bmpsuite/g/rgb24.bmp", bmp_);
        std::filesystem::copy_file(DataDir() / "pngsuite/basn2c08.png", png_);
    }
    void TearDown() override
    {
        if (window_) {
            window_->Run().WaitForWorker();
            window_.reset();
        }
        TestWorld::TearDown();
    }

    ui::CTallowinDlg& Open()
    {
        window_ = std::make_unique<ui::CTallowinDlg>(*store_, BinDir().string() + "/");
        window_->show();
        return *window_;
    }
    // Opens the window with the BMP and the PNG in the list, in that order.
    ui::CTallowinDlg& OpenWithPhotos()
    {
        Open();
        window_->AddChosenFiles({QString::fromStdString(bmp_), QString::fromStdString(png_)});
        return *window_;
    }
    template <typename Widget = QWidget> Widget* Control(ControlId id)
    {
        auto* widget = window_->findChild<Widget*>(ui::ControlName(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    QTableWidget* List() { return Control<QTableWidget>(IDC_PHOTO_LIST); }
    QString Cell(int row, int column) { return List()->item(row, column)->text(); }
    // Every box is answered with `button` ("Yes", "No").
    void AnswerBoxesWith(const QString& button)
    {
        answerer_.SetScript([button](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            return box && ModalAnswerer::ClickButton(box, button);
        });
    }

    std::unique_ptr<SettingsStore> store_;
    std::unique_ptr<ui::CTallowinDlg> window_;
    ModalAnswerer answerer_;
    std::string bmp_;
    std::string png_;
};

}  // namespace tallowin::test
