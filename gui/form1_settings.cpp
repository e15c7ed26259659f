// What the main window keeps between sessions: paths, tag list, options, last folder, size.
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>

#include "filedialog.h"
#include "form1.h"
#include "tagbox.h"
#include "store.h"
#include "twips.h"

namespace gui {

void Form1::loadSettings() {
    const std::unique_ptr<QSettings> store = openStore();
    text2_[0]->setText(store->value("paths/input").toString());
    text2_[1]->setText(store->value("paths/output").toString());
    outputFromEarlier_ = !text2_[1]->text().isEmpty();
    if (store->contains("tags")) {
        text1_->setText(store->value("tags").toString());
        text1_->setCursorPosition(0);
    }
    const auto pick = [&](const char* key, QRadioButton* const* buttons, int count) {
        const int id = store->value(key, -1).toInt();
        if (id >= 0 && id < count) buttons[id]->setChecked(true);
    };
    pick("options/existing", option2_, 2);
    pick("options/case", option3_, 2);
    pick("options/code", option4_, 2);
    pick("options/subfields", option5_, 2);
    pick("options/polyphone", option1_, 3);
    check1_->setChecked(store->value("options/askOnlyWhenUnsure", false).toBool());
    checkSpacing_->setChecked(store->value("options/spacingApart", false).toBool());
    check2_->setChecked(store->value("options/review", false).toBool());
    const QString folder = store->value("folders/last").toString();
    if (!folder.isEmpty()) setLastFileFolder(folder);
    // A size kept from a larger screen is cut to this one's free area (the frame left room).
    QSize size = store->value("window/size").toSize();
    if (size.isValid()) {
        size = size.expandedTo(minimumSizeHint());
        if (const QScreen* s = screen()) size = size.boundedTo(s->availableGeometry().size() - QSize(px(120), px(600)));
        resize(size);
    }
}

void Form1::saveSettings() const {
    const std::unique_ptr<QSettings> store = openStore();
    store->setValue("paths/input", text2_[0]->text());
    store->setValue("paths/output", text2_[1]->text());
    store->setValue("tags", text1_->text());
    const auto checkedOf = [](QRadioButton* const* buttons, int count) {
        for (int i = 0; i < count; ++i)
            if (buttons[i]->isChecked()) return i;
        return 0;
    };
    store->setValue("options/existing", checkedOf(option2_, 2));
    store->setValue("options/case", checkedOf(option3_, 2));
    store->setValue("options/code", checkedOf(option4_, 2));
    store->setValue("options/subfields", checkedOf(option5_, 2));
    store->setValue("options/polyphone", checkedOf(option1_, 3));
    store->setValue("options/askOnlyWhenUnsure", check1_->isChecked());
    store->setValue("options/spacingApart", checkSpacing_->isChecked());
    store->setValue("options/review", check2_->isChecked());
    if (!lastFileFolder().isEmpty()) store->setValue("folders/last", lastFileFolder());
    store->setValue("window/size", size());
}

}  // namespace gui
