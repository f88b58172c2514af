// The window icon resource: every size loads, at its size, drawn on transparency.

#include <QImage>
#include <QTest>

class TestAppIcon : public QObject
{
    Q_OBJECT

private slots:
    void iconImage_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            QTest::addRow("%dpx", size) << size;
    }

    void iconImage()
    {
        QFETCH(int, size);
        const QImage image(QStringLiteral(":/icons/quelmar-setup-%1.png").arg(size));
        QVERIFY2(!image.isNull(), "resource missing or not a readable PNG");
        QCOMPARE(image.size(), QSize(size, size));
        QVERIFY(image.hasAlphaChannel());
        // Transparent corners: no box around the icon on a dark panel.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(size - 1, 0)), 0);
        // The case fills the lower middle, so a blank render shows here.
        QCOMPARE(qAlpha(image.pixel(size / 2, size * 3 / 4)), 255);
    }
};

QTEST_GUILESS_MAIN(TestAppIcon)
#include "tst_appicon.moc"
