// What the main window keeps between sessions: paths, tag list, options, last folder, size.
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>

#include "filedialog.h"
#include "main_window.h"
#include "tagbox.h"
#include "store.h"
#include "twips.h"

namespace gui {

void MainWindow::loadSettings() {
    const std::unique_ptr<QSettings> store = openStore();
    pathBoxes_[0]->setText(store->value("paths/input").toString());
    pathBoxes_[1]->setText(store->value("paths/output").toString());
    outputFromEarlier_ = !pathBoxes_[1]->text().isEmpty();
    if (store->contains("tags")) {
        tagList_->setText(store->value("tags").toString());
        tagList_->setCursorPosition(0);
    }
    const auto pick = [&](const char* key, QRadioButton* const* buttons, int count) {
        const int id = store->value(key, -1).toInt();
        if (id >= 0 && id < count) buttons[id]->setChecked(true);
    };
    pick("options/existing", existingButtons_, 2);
    pick("options/case", caseButtons_, 2);
    pick("options/code", codeButtons_, 2);
    pick("options/subfields", subfieldButtons_, 2);
    pick("options/polyphone", polyphoneButtons_, 3);
    askOnlyWhenUnsure_->setChecked(store->value("options/askOnlyWhenUnsure", false).toBool());
    checkSpacing_->setChecked(store->value("options/spacingApart", false).toBool());
    reviewFirst_->setChecked(store->value("options/review", false).toBool());
    const QString folder = store->value("folders/last").toString();
    if (!folder.isEmpty()) setLastFileFolder(folder);
    // A size kept from a larger screen is cut to this one's free area (the frame left room).
    QSize size = store->value("window/size").toSize();
    if (size.isValid()) {
        size = size.expandedTo(minimumSizeHint());
        if (const QScreen* s = screen())
            size = size.boundedTo(s->availableGeometry().size() - QSize(px(120), px(600)));
        resize(size);
    }
}

void MainWindow::saveSettings() const {
    const std::unique_ptr<QSettings> store = openStore();
    store->setValue("paths/input", pathBoxes_[0]->text());
    store->setValue("paths/output", pathBoxes_[1]->text());
    store->setValue("tags", tagList_->text());
    const auto checkedOf = [](QRadioButton* const* buttons, int count) {
        for (int i = 0; i < count; ++i)
            if (buttons[i]->isChecked()) return i;
        return 0;
    };
    store->setValue("options/existing", checkedOf(existingButtons_, 2));
    store->setValue("options/case", checkedOf(caseButtons_, 2));
    store->setValue("options/code", checkedOf(codeButtons_, 2));
    store->setValue("options/subfields", checkedOf(subfieldButtons_, 2));
    store->setValue("options/polyphone", checkedOf(polyphoneButtons_, 3));
    store->setValue("options/askOnlyWhenUnsure", askOnlyWhenUnsure_->isChecked());
    store->setValue("options/spacingApart", checkSpacing_->isChecked());
    store->setValue("options/review", reviewFirst_->isChecked());
    if (!lastFileFolder().isEmpty()) store->setValue("folders/last", lastFileFolder());
    store->setValue("window/size", size());
}

}  // namespace gui
