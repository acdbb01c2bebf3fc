// The multiview host's video source on clips that tools/makeclip encodes in
// each pixel layout: what reaches the engines, and which frame is due when.

#include <videosource.h>

extern "C" {
#include <libavutil/frame.h>
}

#include <QtTest>

namespace {

// The frame number the clip's counter blocks (32 pixels, bit 0 leftmost) spell in the luma.
int counterOf(AVFrame const* f, cUniYuvFrame const& yuv)
{
    const int step = yuv.mFormat == cUniYuvFrame::YUYV ? 2 : 1;
    int n = 0;
    for (int b = 0; b < 12; ++b)
        n |= (f->data[0][16 * f->linesize[0] + (b * 32 + 16) * step] > 128) << b;
    return n;
}

} // namespace

class tst_VideoSource : public QObject
{
    Q_OBJECT

    QTemporaryDir mDir;

private slots:
    // An odd size: the 4:2:0 chroma planes round up.
    void layoutsAndFrameClock_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("pixels");
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("range");
        QTest::newRow("mpeg4 i420") << "mpeg4" << "yuv420p" << int(cUniYuvFrame::I420) << int(cUniYuvFrame::Limited);
        QTest::newRow("raw nv12") << "rawvideo" << "nv12" << int(cUniYuvFrame::NV12) << int(cUniYuvFrame::Limited);
        QTest::newRow("raw yuyv") << "rawvideo" << "yuyv422" << int(cUniYuvFrame::YUYV) << int(cUniYuvFrame::Limited);
        QTest::newRow("mjpeg full range") << "mjpeg" << "yuvj420p" << int(cUniYuvFrame::I420) << int(cUniYuvFrame::Full);
        QTest::newRow("ffv1 4:4:4 converted") << "ffv1" << "yuv444p" << int(cUniYuvFrame::I420)
                                              << int(cUniYuvFrame::Limited);
    }

    void layoutsAndFrameClock()
    {
        QFETCH(QString, codec);
        QFETCH(QString, pixels);
        QFETCH(int, format);
        QFETCH(int, range);
        const QString clip = mDir.filePath(pixels + QStringLiteral(".avi"));
        QCOMPARE(QProcess::execute(QStringLiteral(MAKECLIP_PATH),
                                   {"--seconds", "1", "--size", "385x97", "--codec", codec, "--pixel-format", pixels, clip}),
                 0);
        VideoSource source(clip);
        // Half a second in: frame 12 is due, the twelve before it were never shown.
        FrameRef f = source.takeDue(0.5, true);
        QVERIFY2(f, qPrintable(source.failure()));
        const cUniYuvFrame yuv = VideoSource::describe(f.get());
        QCOMPARE(int(yuv.mFormat), format);
        QCOMPARE(int(yuv.mRange), range);
        QCOMPARE(yuv.mSize, QSize(385, 97));
        QVERIFY(yuv.canDraw(yuv.rect()) && yuv.mMatrix == cUniYuvFrame::BT601);
        QCOMPARE(counterOf(f.get(), yuv), 12);
        QCOMPARE(source.dropped(), 12);
        QVERIFY(!source.takeDue(0.5, true));
        // Past the end the clip loops: 1.2 s is frame 5 of the second pass.
        f = source.takeDue(1.2, true);
        QVERIFY(f);
        QCOMPARE(counterOf(f.get(), VideoSource::describe(f.get())), 5);
        QCOMPARE(source.dropped(), 12 + 12 + 5);
        QCOMPARE(source.shown(), 2);
        QVERIFY(!source.failed());
    }
};

QTEST_GUILESS_MAIN(tst_VideoSource)
#include "tst_videosource.moc"
