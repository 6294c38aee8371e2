#include "MyNavEh.h"

#include "DataSet.h"
#include "Guarded.h"
#include "Messages.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

namespace {

const char *const ButtonNames[TMyDBNavigator::ButtonCount] = {
    "nbFirst", "nbPrior", "nbNext", "nbLast", "nbInsert", "nbDelete", "nbEdit", "nbPost", "nbCancel", "nbRefresh",
};

// A flat button that shows the navigator's keyboard focus, since it never takes the focus itself.
class NavButton : public QToolButton
{
public:
    using QToolButton::QToolButton;

    void setKeyboardFocus(bool on)
    {
        if (m_keyboardFocus == on)
            return;
        m_keyboardFocus = on;
        update();
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QToolButton::paintEvent(event);
        if (!m_keyboardFocus)
            return;
        QPainter p(this);
        p.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(2, 2, -3, -3));
    }

private:
    bool m_keyboardFocus = false;
};

// The images beside the captions, drawn so that they look alike in every style.
QIcon buttonIcon(TNavigateBtn kind)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor blue(0x1f, 0x4e, 0x9c);
    const QColor green(0x1e, 0x8a, 0x3c);
    const QColor red(0xc0, 0x2a, 0x2a);
    auto triangle = [&](qreal tipX, qreal baseX, const QColor &c) {
        QPainterPath path;
        path.moveTo(baseX, 3);
        path.lineTo(tipX, 8);
        path.lineTo(baseX, 13);
        path.closeSubpath();
        p.fillPath(path, c);
    };
    switch (kind) {
    case nbFirst:
        p.fillRect(QRectF(3, 3, 2, 10), blue);
        triangle(6, 12, blue);
        break;
    case nbPrior:
        triangle(4, 11, blue);
        break;
    case nbNext:
        triangle(12, 5, blue);
        break;
    case nbLast:
        triangle(10, 4, blue);
        p.fillRect(QRectF(11, 3, 2, 10), blue);
        break;
    case nbInsert:
        p.fillRect(QRectF(7, 2, 2, 12), green);
        p.fillRect(QRectF(2, 7, 12, 2), green);
        break;
    case nbDelete:
        p.fillRect(QRectF(2, 7, 12, 2), red);
        break;
    case nbEdit: {
        QPainterPath path;
        path.moveTo(3, 11);
        path.lineTo(8, 5);
        path.lineTo(13, 11);
        path.closeSubpath();
        p.fillPath(path, blue);
        break;
    }
    case nbPost:
        p.setPen(QPen(green, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({ QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4) }));
        break;
    case nbCancel:
        p.setPen(QPen(red, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case nbRefresh: {
        p.setPen(QPen(blue, 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(3, 3, 10, 10), 90 * 16, 270 * 16);
        QPainterPath head;
        head.moveTo(8, 0.5);
        head.lineTo(11.5, 3);
        head.lineTo(8, 5.5);
        head.closeSubpath();
        p.fillPath(head, blue);
        break;
    }
    }
    return QIcon(pixmap);
}

}

TMyDBNavigator::TMyDBNavigator(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::TabFocus);
    setFixedHeight(25);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < ButtonCount; ++i) {
        const auto kind = TNavigateBtn(i);
        auto *b = new NavButton(this);
        b->setObjectName(QString::fromLatin1(ButtonNames[i]));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setIcon(buttonIcon(kind));
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        b->setFixedHeight(25);
        connect(b, &QToolButton::clicked, this, [this, kind] { ButtonClick(kind); });
        layout->addWidget(b);
        m_buttons[i] = b;
    }
    SetButtonCaptions();
    updateButtons();
}

QString TMyDBNavigator::NavButtonCaptions(TNavigateBtn kind)
{
    static const QString captions[ButtonCount] = {
        QStringLiteral("第一条"), QStringLiteral("上一条"), QStringLiteral("下一条"), QStringLiteral("末一条"),
        QStringLiteral("添加"),   QStringLiteral("删除"),   QStringLiteral("编辑"),   QStringLiteral("提交"),
        QStringLiteral("取消"),   QStringLiteral("刷新"),
    };
    return captions[kind];
}

void TMyDBNavigator::SetButtonCaptions()
{
    for (int i = 0; i < ButtonCount; ++i)
        m_buttons[i]->setText(NavButtonCaptions(TNavigateBtn(i)));
}

void TMyDBNavigator::setDataSet(DataSet *dataSet)
{
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_dataSet = dataSet;
    if (dataSet) {
        for (auto signal : { &DataSet::stateChanged, &DataSet::currentChanged, &DataSet::reset })
            m_connections << connect(dataSet, signal, this, &TMyDBNavigator::updateButtons);
        m_connections << connect(dataSet, &DataSet::rowInserted, this, &TMyDBNavigator::updateButtons);
        m_connections << connect(dataSet, &DataSet::rowRemoved, this, &TMyDBNavigator::updateButtons);
        m_connections << connect(dataSet, &QObject::destroyed, this, &TMyDBNavigator::updateButtons);
    }
    updateButtons();
}

void TMyDBNavigator::setButtonVisible(TNavigateBtn kind, bool visible)
{
    m_buttons[kind]->setVisible(visible);
    if (!visible && m_focused == kind) {
        for (int i = 0; i < ButtonCount; ++i)
            if (!m_buttons[i]->isHidden()) {
                setFocusedButton(TNavigateBtn(i));
                break;
            }
    }
}

void TMyDBNavigator::updateButtons()
{
    DataSet *ds = m_dataSet;
    bool enabled[ButtonCount] = {};
    if (ds && ds->isActive()) {
        const int count = ds->recordCount();
        const int pos = ds->recNo();
        const bool canModify = ds->canModify();
        const bool editing = ds->isEditing();
        enabled[nbFirst] = enabled[nbPrior] = pos > 0;
        enabled[nbNext] = enabled[nbLast] = pos >= 0 && pos < count - 1;
        enabled[nbInsert] = canModify;
        enabled[nbDelete] = canModify && count > 0;
        enabled[nbEdit] = canModify && !editing;
        enabled[nbPost] = enabled[nbCancel] = canModify && editing;
        enabled[nbRefresh] = canModify;
    }
    for (int i = 0; i < ButtonCount; ++i)
        m_buttons[i]->setEnabled(enabled[i]);
}

void TMyDBNavigator::ButtonClick(TNavigateBtn Index)
{
    DataSet *ds = m_dataSet;
    if (!ds || !ds->isActive())
        return;
    Guarded(this, [&] {
        switch (Index) {
        case nbFirst:
            ds->first();
            break;
        case nbPrior:
            ds->prior();
            break;
        case nbNext:
            ds->next();
            break;
        case nbLast:
            ds->last();
            break;
        case nbInsert:
            ds->insert();
            break;
        case nbDelete:
            if (ShowMessageBox(this, QStringLiteral("您确认要删除这条记录吗？"), QStringLiteral("警告"),
                               QMessageBox::Warning, QMessageBox::Ok | QMessageBox::Cancel)
                == QMessageBox::Ok)
                ds->remove();
            break;
        case nbEdit:
            ds->edit();
            break;
        case nbPost:
            ds->post();
            break;
        case nbCancel:
            ds->cancel();
            break;
        case nbRefresh:
            ds->refresh();
            break;
        }
    });
}

void TMyDBNavigator::setFocusedButton(TNavigateBtn kind)
{
    static_cast<NavButton *>(m_buttons[m_focused])->setKeyboardFocus(false);
    m_focused = kind;
    static_cast<NavButton *>(m_buttons[m_focused])->setKeyboardFocus(hasFocus());
}

void TMyDBNavigator::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Left:
            for (int i = m_focused - 1; i >= 0; --i)
                if (!m_buttons[i]->isHidden()) {
                    setFocusedButton(TNavigateBtn(i));
                    break;
                }
            event->accept();
            return;
        case Qt::Key_Right:
            for (int i = m_focused + 1; i < ButtonCount; ++i)
                if (!m_buttons[i]->isHidden()) {
                    setFocusedButton(TNavigateBtn(i));
                    break;
                }
            event->accept();
            return;
        case Qt::Key_Space:
            if (m_buttons[m_focused]->isEnabled() && !m_buttons[m_focused]->isHidden())
                m_buttons[m_focused]->click();
            event->accept();
            return;
        default:
            break;
        }
    }
    QWidget::keyPressEvent(event);
}

void TMyDBNavigator::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    static_cast<NavButton *>(m_buttons[m_focused])->setKeyboardFocus(true);
}

void TMyDBNavigator::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    static_cast<NavButton *>(m_buttons[m_focused])->setKeyboardFocus(false);
}
