// The end of a run with failed records.
#include "outcome.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "boxes.h"
#include "messages/messages.h"

namespace gui {

namespace {
constexpr messages::Language kChinese = messages::Language::Chinese;

QString fromLocal(const std::string& path) { return QFile::decodeName(path.c_str()); }
}  // namespace

QString OutcomeDialog::figures(const app::BatchResult& r, const QString& output) {
    QString text =
        QStringLiteral("已处理 %1 条记录：写入 %2 条，失败 %3 条。").arg(r.read).arg(r.written).arg(r.failed);
    if (r.skipped > 0) text += QStringLiteral("\n开头已处理过的 %1 条记录跳过未写。").arg(r.skipped);
    text +=
        QStringLiteral("\n输出文件：%1").arg(QDir::toNativeSeparators(QFileInfo(output).absoluteFilePath()));
    return text;
}

QString OutcomeDialog::summaryText(const app::BatchResult& r, const QString& output) {
    QString text = (r.stopped ? QStringLiteral("已停止处理，有记录失败。\n")
                              : QStringLiteral("处理完毕，有记录失败。\n")) +
                   figures(r, output);
    if (r.rejectsKept == r.failed)
        text += QStringLiteral("\n失败的记录原样另存于：%1").arg(fromLocal(r.rejectsPath));
    else if (r.rejectsKept > 0)
        text += QStringLiteral("\n%1 条失败的记录原样另存于：%2；其余的未能保存。")
                    .arg(r.rejectsKept)
                    .arg(fromLocal(r.rejectsPath));
    else
        text += QStringLiteral("\n失败的记录未能保存。");
    if (!r.failureLogPath.empty())
        text += QStringLiteral("\n失败原因见：%1").arg(fromLocal(r.failureLogPath));
    if (r.charCounted > 0)
        text += QStringLiteral("\n%1 条记录的目录按字符而非字节计算长度，已按字符读取，写出时按字节计算。")
                    .arg(r.charCounted);
    if (!r.asciiOnly)
        text += QStringLiteral("\n文件编码：%1（自动识别）")
                    .arg(QString::fromStdString(messages::codePageName(r.encoding)));
    return text;
}

OutcomeDialog::OutcomeDialog(const app::BatchResult& r, const QString& output, QWidget* parent)
    : QDialog(parent) {
    setObjectName("FormOutcome");
    setWindowTitle(QStringLiteral("处理结果"));
    auto* summary = new QLabel(summaryText(r, output), this);
    summary->setObjectName("LabelSummary");
    summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    summary->setWordWrap(true);

    auto* list = new QListWidget(this);
    list->setObjectName("ListFailures");
    int listed = 0;
    for (const app::RecordFailure& f : r.failures) {
        if (listed == kFailuresListed) break;
        list->addItem(QString::fromStdString(messages::failure(f, kChinese)));
        ++listed;
    }
    if (r.failed > listed) list->addItem(QStringLiteral("还有 %1 条").arg(r.failed - listed));

    auto* buttons = new QDialogButtonBox(this);
    auto* ok = buttons->addButton(QStringLiteral("确定(&O)"), QDialogButtonBox::AcceptRole);
    ok->setObjectName("CommandOk");
    ok->setDefault(true);
    if (!r.failureLogPath.empty()) {
        auto* open = buttons->addButton(QStringLiteral("打开失败说明(&L)"), QDialogButtonBox::ActionRole);
        open->setObjectName("CommandOpenLog");
        const QUrl log = QUrl::fromLocalFile(fromLocal(r.failureLogPath));
        connect(open, &QPushButton::clicked, this, [this, log] { openOrShow(this, log); });
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary);
    layout->addWidget(new QLabel(QStringLiteral("失败的记录："), this));
    layout->addWidget(list, 1);
    layout->addWidget(buttons);
    resize(640, 420);
}

}  // namespace gui
