// The version dialog on real widgets with a scripted host.
#include "Basic.h"
#include "FakeAudioLibrary.h"
#include "FakeHost.h"
#include "Program.h"
#include "frmAbout.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <memory>
#include <utility>

namespace {

TEST(VersionText, MinorWithAtLeastTwoDigitsRevisionWithAtLeastFour)
{
    EXPECT_EQ(versionText({0, 90, 129}), QStringLiteral("バージョン 0.90.0129"));
    EXPECT_EQ(versionText({1, 5, 7}), QStringLiteral("バージョン 1.05.0007"));
    EXPECT_EQ(versionText({2, 100, 12345}), QStringLiteral("バージョン 2.100.12345"));
    EXPECT_EQ(versionText({10, 0, 0}), QStringLiteral("バージョン 10.00.0000"));
    EXPECT_EQ(versionText(programVersion()), QStringLiteral("バージョン 0.90.0129"));
}

struct About : ::testing::Test {
    FakeHost host;
    FakeAudioLibrary audio;
    Program program{host, audio};
    QWidget window;
    std::unique_ptr<frmAbout> dialog;

    void SetUp() override
    {
        window.setWindowIcon(QIcon(QStringLiteral(":/tarnek.png")));
        window.resize(320, 64);
        window.winId();
    }
    frmAbout& open()
    {
        dialog = std::make_unique<frmAbout>(program, window);
        dialog->Form_Load();
        dialog->show();
        return *dialog;
    }
    bool topMost() const { return window.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint); }
    static QColor textColour(const QLabel* label) { return label->palette().color(QPalette::WindowText); }
};

TEST_F(About, LoadingNamesTheProgramAndItsVersionWithTheWindowsIcon)
{
    program.state.TopMost = -1;
    SetTopMost(window, -1);
    frmAbout& d = open();
    EXPECT_FALSE(topMost());
    EXPECT_EQ(d.windowTitle(), QStringLiteral("タルネク のバージョン情報"));
    EXPECT_EQ(d.lblTitle->text(), QStringLiteral("タルネク"));
    EXPECT_EQ(d.lblVersion->text(), QStringLiteral("バージョン 0.90.0129"));
    EXPECT_EQ(d.lblDescription->text(), kLegalNotice);
    EXPECT_EQ(d.picIcon->pixmap().toImage().convertToFormat(QImage::Format_ARGB32),
              window.windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(d.picIcon->geometry(), QRect(16, 16, 32, 32));
    EXPECT_EQ(d.lblURL[0]->text(), homePage());
    EXPECT_EQ(d.lblURLTag[0], homePage());
    EXPECT_EQ(d.lblURL[1]->text(), contactAddress());
    EXPECT_EQ(d.lblURLTag[1], QStringLiteral("mailto:") + contactAddress());

    // Another version, as a later build would carry.
    frmAbout other(program, window, {1, 5, 7});
    other.Form_Load();
    EXPECT_EQ(other.lblVersion->text(), QStringLiteral("バージョン 1.05.0007"));
}

TEST_F(About, EveryControlSitsAtItsTwipsOverFifteen)
{
    frmAbout& d = open();
    EXPECT_EQ(d.size(), QSize(382, 237)); // 5730 × 3555 twips
    EXPECT_EQ(d.minimumSize(), d.maximumSize());
    EXPECT_FALSE(d.windowFlags().testFlag(Qt::WindowMinMaxButtonsHint));
    EXPECT_TRUE(d.cmdOK->isDefault());
    EXPECT_EQ(d.cmdOK->text(), QStringLiteral("OK"));
    EXPECT_EQ(d.cmdOK->geometry(), QRect(4245 / 15, 2625 / 15, 1380 / 15, 345 / 15));
    EXPECT_EQ(d.picIcon->geometry(), QRect(240 / 15, 240 / 15, 480 / 15, 480 / 15));
    // Labels stand where designed, at least as large as designed, larger only when their text
    // needs it in this system's face, and never over one another.
    const struct {
        QLabel* label;
        QRect twips;
    } rows[] = {
        {d.lblTitle, {1080, 240, 3885, 360}},     {d.lblVersion, {1080, 600, 3885, 225}},
        {d.lblDescription, {1080, 1125, 3315, 180}}, {d.Label3, {120, 2640, 360, 180}},
        {d.lblURL[0], {720, 2640, 2490, 180}},    {d.Label4, {120, 2880, 540, 180}},
        {d.lblURL[1], {720, 2880, 1470, 180}},
    };
    std::vector<QRect> taken{d.cmdOK->geometry(), d.picIcon->geometry(), QRect(6, 163, 371, 3)};
    for (const auto& row : rows) {
        const QRect at = row.label->geometry();
        const QRect designed(row.twips.x() / 15, row.twips.y() / 15, row.twips.width() / 15, row.twips.height() / 15);
        const std::string name = row.label->text().toStdString();
        EXPECT_EQ(at.y(), designed.y()) << name;
        // A link may stand further right, after a caption that is wider in this face.
        if (row.label == d.lblURL[0] || row.label == d.lblURL[1]) EXPECT_GE(at.x(), designed.x()) << name;
        else EXPECT_EQ(at.x(), designed.x()) << name;
        EXPECT_GE(at.width(), designed.width()) << name;
        EXPECT_GE(at.height(), designed.height()) << name;
        EXPECT_TRUE(at.contains(QRect(at.topLeft(), row.label->sizeHint()))) << name << ": text cut off";
        EXPECT_TRUE(d.rect().contains(at)) << name;
        for (const QRect& other : taken) EXPECT_FALSE(at.intersects(other)) << name;
        taken.push_back(at);
    }
    EXPECT_EQ(d.Label3->text(), QStringLiteral("URL:"));
    EXPECT_EQ(d.Label4->text(), QStringLiteral("E-Mail:"));
    for (auto [caption, link] : {std::pair{d.Label3, d.lblURL[0]}, std::pair{d.Label4, d.lblURL[1]}})
        EXPECT_LT(caption->x() + caption->fontMetrics().horizontalAdvance(caption->text()), link->x());
    for (QLabel* black : {d.lblTitle, d.lblDescription, d.Label3, d.Label4}) EXPECT_EQ(textColour(black), QColor(0, 0, 0));
    for (QWidget* w : std::initializer_list<QWidget*>{d.lblTitle, d.lblURL[0], d.cmdOK}) EXPECT_EQ(w->font().pointSize(), 9);

    // The etched rule as drawn: a grey row with a white one of two pixels under it.
    const QImage drawn = d.grab().toImage();
    EXPECT_EQ(drawn.pixelColor(6, 163), QColor(128, 128, 128));
    EXPECT_EQ(drawn.pixelColor(376, 163), QColor(128, 128, 128));
    EXPECT_EQ(drawn.pixelColor(7, 164), QColor(255, 255, 255));
    EXPECT_EQ(drawn.pixelColor(200, 165), QColor(255, 255, 255));
    EXPECT_EQ(drawn.pixelColor(6, 164), drawn.pixelColor(3, 150)); // the white edge starts a pixel later
    EXPECT_NE(drawn.pixelColor(200, 166), QColor(255, 255, 255));

    if (const QByteArray dir = qgetenv("TARNEK_SCREENSHOTS"); !dir.isEmpty())
        drawn.save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("about.png")));
}

TEST_F(About, LinksAreBlueUnderlinedWithTheHandAndTurnPurpleOnceClicked)
{
    frmAbout& d = open();
    for (QLabel* link : d.lblURL) {
        EXPECT_EQ(textColour(link), QColor(0, 0, 255));
        EXPECT_TRUE(link->font().underline());
        EXPECT_EQ(link->cursor().shape(), Qt::BitmapCursor);
        EXPECT_EQ(link->cursor().hotSpot(), QPoint(5, 0));
        EXPECT_EQ(link->cursor().pixmap().size(), QSize(32, 32));
    }
    // The purple is painted before the desktop is asked to open the target.
    QColor whenOpened;
    host.onShellExecute = [&](const FakeHost::ShellCall&) { whenOpened = textColour(d.lblURL[0]); };
    QTest::mouseClick(d.lblURL[0], Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(d.lblURL[0], Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(whenOpened, QColor(136, 0, 136));
    EXPECT_GE(host.doEventsCount, 1);
    QTest::mouseClick(d.lblURL[1], Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(d.lblURL[1], Qt::RightButton, {}, QPoint(5, 5)); // not a click on a link
    ASSERT_EQ(host.shellCalls.size(), 3u); // twice clicked, opened twice
    for (const auto& call : host.shellCalls) {
        EXPECT_EQ(call.owner, &d);
        EXPECT_EQ(call.operation, QStringLiteral("open"));
    }
    EXPECT_EQ(host.shellCalls[1].file, homePage());
    EXPECT_EQ(host.shellCalls[2].file, QStringLiteral("mailto:") + contactAddress());
    for (QLabel* link : d.lblURL) EXPECT_EQ(textColour(link), QColor(136, 0, 136));

    // The next opening starts blue again.
    for (QLabel* link : open().lblURL) EXPECT_EQ(textColour(link), QColor(0, 0, 255));
}

TEST_F(About, OkEnterEscAndTheWindowSystemsCloseRestoreTheTopMostBand)
{
    const std::function<void(frmAbout&)> ways[] = {
        [](frmAbout& d) { QTest::mouseClick(d.cmdOK, Qt::LeftButton); },
        [](frmAbout& d) { QTest::keyClick(&d, Qt::Key_Return); },
        [](frmAbout& d) { QTest::keyClick(&d, Qt::Key_Escape); },
        [](frmAbout& d) { d.close(); },
    };
    for (std::int16_t setting : {std::int16_t(-1), std::int16_t(0)}) {
        program.state.TopMost = setting;
        for (const auto& closeIt : ways) {
            SetTopMost(window, -1);
            frmAbout& d = open();
            EXPECT_FALSE(topMost());
            closeIt(d);
            EXPECT_FALSE(d.isVisible());
            EXPECT_EQ(topMost(), setting == -1);
        }
    }
}

} // namespace
