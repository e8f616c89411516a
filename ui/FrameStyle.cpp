#include "FrameStyle.h"

#include <QGroupBox>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionGroupBox>

namespace {

class CaptionOnLineStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override
    {
        const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
        if (control != CC_GroupBox || !box || box->text.isEmpty())
            return QProxyStyle::subControlRect(control, option, part, widget);
        QRect caption = QProxyStyle::subControlRect(control, option, SC_GroupBoxLabel, widget);
        caption.moveTop(box->rect.top());
        // Indented so that the frame's left line and corner stay whole.
        if (caption.left() - box->rect.left() < kIndent) caption.moveLeft(box->rect.left() + kIndent);
        switch (part) {
        case SC_GroupBoxLabel:
            return caption;
        case SC_GroupBoxFrame:
            return box->rect.adjusted(0, caption.center().y() - box->rect.top(), 0, 0);
        default:
            return QProxyStyle::subControlRect(control, option, part, widget);
        }
    }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override
    {
        const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
        if (control != CC_GroupBox || !box || box->text.isEmpty() || (box->subControls & SC_GroupBoxCheckBox)) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        const QRect frame = subControlRect(control, option, SC_GroupBoxFrame, widget);
        const QRect caption = subControlRect(control, option, SC_GroupBoxLabel, widget);
        painter->save();
        if (box->subControls & SC_GroupBoxFrame) {
            // The line stops a little short of the caption on either side.
            painter->setClipRegion(QRegion(box->rect).subtracted(caption.adjusted(-2, 0, 2, 0)));
            // Fusion's frame: a dark outline with a light line inside it, softly rounded.
            const QColor window = box->palette.color(QPalette::Window);
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setBrush(Qt::NoBrush);
            painter->setPen(window.lighter(115));
            painter->drawRoundedRect(QRectF(frame).adjusted(1.5, 1.5, -0.5, -0.5), 2, 2);
            painter->setPen(window.darker(140));
            painter->drawRoundedRect(QRectF(frame).adjusted(0.5, 0.5, -1.5, -1.5), 2, 2);
            painter->setClipping(false);
        }
        if (box->subControls & SC_GroupBoxLabel) {
            int flags = Qt::AlignCenter | Qt::TextShowMnemonic;
            if (!styleHint(SH_UnderlineShortcut, option, widget)) flags |= Qt::TextHideMnemonic;
            drawItemText(painter, caption, flags, box->palette, box->state & State_Enabled, box->text,
                         QPalette::WindowText);
        }
        painter->restore();
    }

private:
    static constexpr int kIndent = 6;
};

} // namespace

void captionOnLine(QGroupBox& frame)
{
    auto* style = new CaptionOnLineStyle; // over the application's style
    style->setParent(&frame);
    frame.setStyle(style);
}
