// The program as the desktop sees it: the icon of its windows, its menu entry and the files the
// entry is offered for.
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include "application.h"

class TestDesktop : public QObject {
    Q_OBJECT

    QTemporaryDir data_;

    static QStringList entryLines() {
        QFile file(QStringLiteral(MARCPY_SOURCE_DIR "/gui/marc-pinyin.desktop"));
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    }
    static QString entryValue(const QString& key) {
        for (const QString& line : entryLines())
            if (line.startsWith(key + QLatin1Char('='))) return line.mid(key.size() + 1);
        return {};
    }

private slots:
    void initTestCase() {
        // The MIME type as installed: our package file in a data folder before the system's own.
        QVERIFY(data_.isValid());
        QVERIFY(QDir().mkpath(data_.filePath(QStringLiteral("mime/packages"))));
        QVERIFY(QFile::copy(QStringLiteral(MARCPY_SOURCE_DIR "/gui/marc-pinyin.xml"),
                            data_.filePath(QStringLiteral("mime/packages/marc-pinyin.xml"))));
        qputenv("XDG_DATA_HOME", data_.path().toUtf8());
        qputenv("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
        gui::setUpApplication(*qobject_cast<QApplication*>(qApp));
    }

    // Every window carries the program's icon in its title bar and the task bar, drawn from the
    // icon compiled in: a red disc at the lower right.
    void windowsShowTheProgramsIcon() {
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("marc-pinyin"));
        QCOMPARE(entryValue(QStringLiteral("Icon")), QStringLiteral("marc-pinyin"));
        QWidget window;
        const QIcon icon = window.windowIcon();
        QVERIFY(!icon.isNull());
        const QImage image = icon.pixmap(QSize(64, 64)).toImage();
        QVERIFY2(!image.isNull(), "the SVG icon was not drawn (are Qt's SVG plugins, libqt6svg6, there?)");
        const QColor disc = image.pixelColor(image.width() * 44 / 64, image.height() * 35 / 64);
        QVERIFY2(disc.red() > 180 && disc.green() < 100 && disc.blue() < 100, qPrintable(disc.name()));
    }

    // The entry is offered for MARC files only: a .iso file is a disc image to the desktop, and
    // the entry must not claim every disc image.
    void entryIsOfferedForMarcFilesOnly() {
        QCOMPARE(entryValue(QStringLiteral("MimeType")), QStringLiteral("application/marc;"));
        QCOMPARE(entryValue(QStringLiteral("Exec")), QStringLiteral("marc-pinyin %f"));
        const QMimeDatabase db;
        const QMimeType marc = db.mimeTypeForName(QStringLiteral("application/marc"));
        QVERIFY(marc.isValid());
        QCOMPARE(db.mimeTypeForFile(QStringLiteral("/records/catalogue.mrc"), QMimeDatabase::MatchExtension),
                 marc);
        QCOMPARE(db.mimeTypeForFile(QStringLiteral("/records/catalogue.MARC"), QMimeDatabase::MatchExtension),
                 marc);
        QVERIFY(db.mimeTypeForFile(QStringLiteral("/records/catalogue.iso"), QMimeDatabase::MatchExtension) !=
                marc);
        QVERIFY(!marc.globPatterns().contains(QStringLiteral("*.iso")));
    }
};

QTEST_MAIN(TestDesktop)
#include "desktop_test.moc"
