#include "frmAbout.h"

#include "Basic.h"
#include "Host.h"
#include "Program.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <utility>

namespace {

QLabel* label(QWidget* parent, const QString& text, const QRect& geometry, const QColor& color = {})
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(geometry);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (color.isValid()) {
        QPalette palette = l->palette();
        palette.setColor(QPalette::WindowText, color);
        l->setPalette(palette);
    }
    return l;
}

const QColor kBlack(0, 0, 0);
const QColor kLink(0, 0, 255);
const QColor kVisited(136, 0, 136);

} // namespace

ProgramVersion programVersion()
{
    return {TARNEK_VERSION_MAJOR, TARNEK_VERSION_MINOR, TARNEK_VERSION_REVISION};
}

QString versionText(const ProgramVersion& v)
{
    return QStringLiteral("バージョン %1.%2.%3")
        .arg(v.Major)
        .arg(v.Minor, 2, 10, QLatin1Char('0'))
        .arg(v.Revision, 4, 10, QLatin1Char('0'));
}

QString homePage()
{
    return QStringLiteral(TARNEK_HOMEPAGE);
}

QString contactAddress()
{
    return QStringLiteral(TARNEK_CONTACT);
}

frmAbout::frmAbout(Program& program, QWidget& mainWindow, ProgramVersion version)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      program_(program), mainWindow_(mainWindow), version_(version)
{
    setWindowTitle(QStringLiteral("バージョン情報"));
    setFont(gothicFont());
    setFixedSize(twipsRect(0, 0, 5730, 3555).size());

    picIcon = label(this, QString(), twipsRect(240, 240, 480, 480));
    lblTitle = label(this, QString(), twipsRect(1080, 240, 3885, 360), kBlack);
    lblVersion = label(this, QStringLiteral("Ver.1.00"), twipsRect(1080, 600, 3885, 225));
    lblDescription = label(this, kLegalNotice, twipsRect(1080, 1125, 3315, 180), kBlack);

    Line1[1] = {twipsRect(90, 2445, 0, 0).topLeft(), twipsRect(5654, 2445, 0, 0).topLeft(), QColor(128, 128, 128), 1};
    Line1[0] = {twipsRect(105, 2460, 0, 0).topLeft(), twipsRect(5654, 2460, 0, 0).topLeft(), QColor(255, 255, 255), 2};

    Label3 = label(this, QStringLiteral("URL:"), twipsRect(120, 2640, 360, 180), kBlack);
    lblURL[0] = label(this, homePage(), twipsRect(720, 2640, 2490, 180), kLink);
    lblURLTag[0] = homePage();
    Label4 = label(this, QStringLiteral("E-Mail:"), twipsRect(120, 2880, 540, 180), kBlack);
    lblURL[1] = label(this, contactAddress(), twipsRect(720, 2880, 1470, 180), kLink);
    lblURLTag[1] = QStringLiteral("mailto:") + contactAddress();
    const QCursor hand(QPixmap(QStringLiteral(":/hand.png")), 5, 0);
    for (QLabel* link : lblURL) {
        QFont underlined = link->font();
        underlined.setUnderline(true);
        link->setFont(underlined);
        link->setCursor(hand);
        link->installEventFilter(this);
    }

    for (QLabel* text : {lblTitle, lblVersion, lblDescription, Label3, lblURL[0], Label4, lblURL[1]})
        fitToText(*text);
    // In a wider face than the one the rows were measured in, "E-Mail:" reaches past where its
    // link begins; the link then follows its caption instead.
    constexpr int gap = 4;
    for (auto [caption, link] : {std::pair{Label3, lblURL[0]}, std::pair{Label4, lblURL[1]}})
        link->move(std::max(link->x(), caption->geometry().right() + 1 + gap), link->y());

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setGeometry(twipsRect(4245, 2625, 1380, 345));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

void frmAbout::showModal()
{
    Form_Load();
    showDialog(*this, mainWindow_, *cmdOK);
}

void frmAbout::Form_Load()
{
    SetTopMost(mainWindow_, 0); // so that the dialog can come in front of it
    const QPixmap icon = mainWindow_.windowIcon().pixmap(picIcon->size());
    picIcon->setPixmap(icon);
    picIcon->resize(icon.deviceIndependentSize().toSize()); // the box takes its picture's size
    setWindowTitle(Host::appTitle() + QStringLiteral(" のバージョン情報"));
    lblVersion->setText(versionText(version_));
    lblTitle->setText(Host::appTitle());
    fitToText(*lblVersion);
    fitToText(*lblTitle);
}

void frmAbout::lblURL_Click(int index)
{
    if (index < 0 || index >= int(lblURL.size())) return;
    QLabel* link = lblURL[index];
    QPalette palette = link->palette();
    palette.setColor(QPalette::WindowText, kVisited); // visited, until the dialog closes
    link->setPalette(palette);
    link->repaint();
    program_.host.DoEvents();
    program_.host.ShellExecute(this, QStringLiteral("open"), lblURLTag[index]);
}

void frmAbout::cmdOK_Click()
{
    SetTopMost(mainWindow_, program_.state.TopMost);
    done(Accepted);
}

void frmAbout::reject()
{
    cmdOK_Click();
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        for (int i = 0; i < int(lblURL.size()); ++i) {
            // A click: pressed and released on the same link.
            if (watched == lblURL[i] && mouse->button() == Qt::LeftButton &&
                lblURL[i]->rect().contains(mouse->position().toPoint())) {
                lblURL_Click(i);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    for (const Line& line : Line1) {
        // Horizontal lines, `width` pixels downwards from their y; drawn inside, never centred.
        painter.fillRect(QRect(line.from, QPoint(line.to.x(), line.from.y() + line.width - 1)), line.color);
    }
}
