#include <cstdlib>

#include <QDir>
#include <QPainter>
#include <QTest>

#include "Icons.h"
#include "TestMain.h"
#include "TestSupport.h"

using namespace vesk;

namespace {

const QStringList kTemplateIcons = {
    QStringLiteral("Up"),    QStringLiteral("Halt"),      QStringLiteral("Reload"),
    QStringLiteral("Pause"), QStringLiteral("Provision"), QStringLiteral("Destroy"),
    QStringLiteral("SSH"),   QStringLiteral("RDP"),       QStringLiteral("Reveal")};
const QStringList kColourIcons = {
    QStringLiteral("MenuRunning"),  QStringLiteral("MenuStopped"),
    QStringLiteral("MenuPaused"),   QStringLiteral("MenuOther"),
    QStringLiteral("vesk"),         QStringLiteral("application-x-vesk"),
    QStringLiteral("menu_icon_off")};

// Share of the icon's area whose colour, laid over `panel`, stands far enough from the panel's
// own to be seen (a luminance step of at least 90 of 255).
double legibleShare(const QImage& icon, const QColor& panel)
{
    QImage over(icon.size(), QImage::Format_ARGB32);
    over.fill(panel);
    QPainter painter(&over);
    painter.drawImage(0, 0, icon);
    painter.end();
    int seen = 0;
    for (int y = 0; y < over.height(); ++y) {
        for (int x = 0; x < over.width(); ++x) {
            if (std::abs(qGray(over.pixel(x, y)) - qGray(panel.rgb())) >= 90)
                ++seen;
        }
    }
    return double(seen) / (over.width() * over.height());
}

// Average colour of the drawn pixels, weighted by coverage.
QColor inkColour(const QImage& image)
{
    double r = 0, g = 0, b = 0, weight = 0;
    const QImage plain = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < plain.height(); ++y) {
        for (int x = 0; x < plain.width(); ++x) {
            const QRgb pixel = plain.pixel(x, y);
            const double alpha = qAlpha(pixel) / 255.0;
            r += qRed(pixel) * alpha;
            g += qGreen(pixel) * alpha;
            b += qBlue(pixel) * alpha;
            weight += alpha;
        }
    }
    if (weight == 0)
        return {};
    return QColor(int(r / weight), int(g / weight), int(b / weight));
}

int coveredPixels(const QImage& image, const QRect& area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            count += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
    }
    return count;
}

// Faint edge pixels lose colour precision to premultiplied alpha, so only solid ink is compared.
// Faint edge pixels lose colour precision to premultiplied alpha, so only solid ink is compared.
bool onlyColour(const QImage& image, QRgb colour)
{
    const QImage plain = image.convertToFormat(QImage::Format_ARGB32);
    const auto near = [](int a, int b) { return qAbs(a - b) <= 4; };
    for (int y = 0; y < plain.height(); ++y) {
        for (int x = 0; x < plain.width(); ++x) {
            const QRgb pixel = plain.pixel(x, y);
            if (qAlpha(pixel) >= 96 &&
                !(near(qRed(pixel), qRed(colour)) && near(qGreen(pixel), qGreen(colour)) &&
                  near(qBlue(pixel), qBlue(colour))))
                return false;
        }
    }
    return true;
}

} // namespace

class TestIcons : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyImageIsDrawn_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        for (const QString& name : kTemplateIcons + kColourIcons) {
            for (int size : {16, 22, 32})
                QTest::addRow("%s@%d", qPrintable(name), size) << name << size;
        }
    }
    void everyImageIsDrawn()
    {
        QFETCH(QString, name);
        QFETCH(int, size);
        const QImage image = renderIcon(name, size);
        QCOMPARE(image.size(), QSize(size, size));
        const int covered = coveredPixels(image, image.rect());
        // Neither empty nor a solid square: the artwork is there and has a shape.
        QVERIFY2(covered > size * size / 10, qPrintable(QString::number(covered)));
        QVERIFY2(covered < size * size, qPrintable(QString::number(covered)));
        QVERIFY(!veskIcon(name).pixmap(size).isNull());
    }

    void unknownNameGivesNullIcon()
    {
        QVERIFY(renderIcon(QStringLiteral("NoSuchImage"), 16).isNull());
        QVERIFY(veskIcon(QStringLiteral("NoSuchImage")).isNull());
    }

    void templateArtworkIsBlackOnly_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString& name : kTemplateIcons)
            QTest::newRow(qPrintable(name)) << name;
    }
    void templateArtworkIsBlackOnly()
    {
        QFETCH(QString, name);
        QVERIFY(onlyColour(renderIcon(name, 32), qRgb(0, 0, 0)));
        // Tinting keeps the shape and changes only the colour.
        const QColor tint(0x12, 0x80, 0xe0);
        const QImage tinted = renderIcon(name, 32, tint);
        QVERIFY(onlyColour(tinted, tint.rgb()));
        QCOMPARE(coveredPixels(tinted, tinted.rect()),
                 coveredPixels(renderIcon(name, 32), tinted.rect()));
        const QImage fromIcon =
            templateIcon(name, tint).pixmap(32).toImage().convertToFormat(QImage::Format_ARGB32);
        QVERIFY(onlyColour(fromIcon, tint.rgb()));
    }

    void templateIconFollowsPaletteText()
    {
        QPalette dark;
        dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        const QImage image =
            templateIconForPalette(QStringLiteral("Up"), dark).pixmap(16).toImage();
        QVERIFY(onlyColour(image, qRgb(0xee, 0xee, 0xee)));
    }

    // Running, powered off, saved and other must be told apart by colour as well as by shape.
    void stateImagesDiffer_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("hue");
        QTest::newRow("running is green") << "MenuRunning"
                                          << "green";
        QTest::newRow("powered off is grey") << "MenuStopped"
                                             << "grey";
        QTest::newRow("saved is amber") << "MenuPaused"
                                        << "amber";
        QTest::newRow("other is blue") << "MenuOther"
                                       << "blue";
    }
    void stateImagesDiffer()
    {
        QFETCH(QString, name);
        QFETCH(QString, hue);
        const QColor ink = inkColour(renderIcon(name, 32));
        const int r = ink.red(), g = ink.green(), b = ink.blue();
        if (hue == QStringLiteral("green"))
            QVERIFY(g > r + 40 && g > b + 40);
        else if (hue == QStringLiteral("grey"))
            QVERIFY(qMax(r, qMax(g, b)) - qMin(r, qMin(g, b)) < 30);
        else if (hue == QStringLiteral("amber"))
            QVERIFY(r > b + 80 && g > b + 60 && r >= g);
        else
            QVERIFY(b > r + 60 && b > g + 20);
    }

    void trayBadge_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {16, 22, 32, 64})
            QTest::addRow("%dpx", size) << size;
    }
    void trayBadge()
    {
        QFETCH(int, size);
        // The same picture has to read on whatever panel it is put on: the desktop does not say
        // which colour that is.
        for (const QColor& panel : {QColor(0xf6, 0xf6, 0xf6), QColor(0xdd, 0xdd, 0xdd),
                                    QColor(0x2b, 0x2b, 0x2f), QColor(0x00, 0x00, 0x00)}) {
            const double share = legibleShare(renderTrayIcon(0, size), panel);
            QVERIFY2(
                share > 0.3,
                qPrintable(
                    QStringLiteral("%1 of the icon reads on %2").arg(share).arg(panel.name())));
        }

        const QImage three = renderTrayIcon(3, size);
        const QImage four = renderTrayIcon(4, size);
        QVERIFY(three != four);
        // The badge sits in the lower right corner and is green.
        const QRect corner(size / 2, size / 2, size / 2, size / 2);
        const QColor ink = inkColour(three.copy(corner));
        QVERIFY2(ink.green() > ink.red() + 30, qPrintable(ink.name()));
        // The upper left of the glyph is left alone.
        const QRect topLeft(0, 0, size / 3, size / 3);
        QCOMPARE(three.copy(topLeft), renderTrayIcon(0, size).copy(topLeft));
        QVERIFY(renderTrayIcon(12, size) != renderTrayIcon(9, size));
        QVERIFY(!trayIconWithBadge(2).pixmap(size).isNull());
    }

    // Sheets of every image at the sizes menus and panels use, on light and dark backgrounds.
    void contactSheets()
    {
        const QString folder = QStringLiteral(VESK_SCREENSHOTS_DIR);
        QDir().mkpath(folder);
        for (int size : {16, 22, 32}) {
            const int cell = size + 8;
            const QStringList names = kTemplateIcons + kColourIcons;
            const int trayCells = 4;
            const int columns = int(names.size()) + trayCells;
            QImage sheet(columns * cell, 2 * cell, QImage::Format_ARGB32_Premultiplied);
            QPainter painter(&sheet);
            painter.fillRect(0, 0, sheet.width(), cell, QColor(0xf6, 0xf6, 0xf6));
            painter.fillRect(0, cell, sheet.width(), cell, QColor(0x2b, 0x2b, 0x2f));
            for (int row = 0; row < 2; ++row) {
                const bool dark = row == 1;
                const QColor text = dark ? QColor(0xee, 0xee, 0xee) : QColor(0x1f, 0x23, 0x28);
                int column = 0;
                for (const QString& name : names) {
                    const QImage image =
                        renderIcon(name, size, kTemplateIcons.contains(name) ? text : QColor());
                    painter.drawImage(column++ * cell + 4, row * cell + 4, image);
                }
                for (int count : {0, 1, 3, 12})
                    painter.drawImage(column++ * cell + 4, row * cell + 4,
                                      renderTrayIcon(count, size));
            }
            painter.end();
            const QString base = folder + QStringLiteral("/icons-%1").arg(size);
            QVERIFY(sheet.save(base + QStringLiteral(".png")));
            // An enlarged copy, for judging the pixels by eye.
            QVERIFY(sheet.scaled(sheet.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                        .save(base + QStringLiteral("-zoom.png")));
        }
        const QImage app = renderIcon(QStringLiteral("vesk"), 128);
        QVERIFY(app.save(folder + QStringLiteral("/icons-app-128.png")));
        QVERIFY(renderIcon(QStringLiteral("application-x-vesk"), 128)
                    .save(folder + QStringLiteral("/icons-document-128.png")));
    }
};

VESK_TEST(TestIcons)
#include "tst_Icons.moc"
