#include "DBEditEh.h"

#include "Guarded.h"
#include "LineLimit.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCompleter>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStringListModel>

namespace {

QIcon dropDownIcon(const QPalette &palette)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    QColor ink = palette.color(QPalette::Text);
    ink.setAlphaF(0.7f);
    p.setBrush(ink);
    const QPointF points[] = { { 4, 6 }, { 12, 6 }, { 8, 11 } };
    p.drawPolygon(points, 3);
    return QIcon(pixmap);
}

}

TDBEditEh::TDBEditEh(QWidget *parent) : QLineEdit(parent)
{
    m_link = new FieldLink(this);
    connect(m_link, &FieldLink::valueChanged, this, &TDBEditEh::showValue);
    connect(m_link, &FieldLink::fieldsChanged, this, &TDBEditEh::onFieldsChanged);
    connect(this, &QLineEdit::textEdited, this, &TDBEditEh::onTextEdited);
    KeepWholeCharacters(this);   // the field size limit must not split a character
}

void TDBEditEh::setDataSet(DataSet *dataSet)
{
    if (dataSet && !m_registered.contains(dataSet)) {
        m_registered.append(dataSet);
        dataSet->addEditor(this, [this, dataSet] {
            if (m_link->dataSet() == dataSet)
                updateRecord();
        });
    }
    m_link->setDataSet(dataSet);
}

void TDBEditEh::setDataField(const QString &field)
{
    m_link->setField(field);
}

void TDBEditEh::setDecimals(int decimals)
{
    m_decimals = qBound(0, decimals, 4);
    if (!m_typed)
        showValue();
}

void TDBEditEh::setFieldSizeLimit(bool on)
{
    m_fieldSizeLimit = on;
    onFieldsChanged();
}

void TDBEditEh::onFieldsChanged()
{
    int size = 0;
    if (m_fieldSizeLimit && m_link->isActive())
        size = m_link->field().size;
    const QString shown = text();
    setMaxLength(size > 0 ? size : 32767);
    // A shorter limit cuts the text; the value is shown again right after anyway.
    if (text() != shown && !m_typed) {
        QScopedValueRollback<bool> loading(m_loading, true);
        setText(shown);
    }
}

void TDBEditEh::showValue()
{
    QScopedValueRollback<bool> loading(m_loading, true);
    m_typed = false;
    const QVariant value = m_link->value();
    const FieldKind kind = m_link->isActive() ? m_link->field().kind : FieldKind::Text;
    setText(kind == FieldKind::Currency ? FieldText::display(kind, value, m_decimals)
                                        : FieldText::edit(kind, value));
    setModified(false);
}

void TDBEditEh::revert()
{
    showValue();
}

bool TDBEditEh::readyRow()
{
    DataSet *ds = m_link->dataSet();
    if (ds && ds->isEditing())
        return true;
    bool editing = false;
    Guarded(this, [&] { editing = m_link->beginEdit(); });
    return editing;
}

bool TDBEditEh::changesText(const QKeyEvent *event)
{
    static const QKeySequence::StandardKey editing[] = {
        QKeySequence::Paste, QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo,
        QKeySequence::DeleteEndOfWord, QKeySequence::DeleteStartOfWord, QKeySequence::DeleteEndOfLine,
        QKeySequence::DeleteCompleteLine,
    };
    for (const auto key : editing)
        if (event->matches(key))
            return true;
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)
        return true;
    const QString typed = event->text();
    return !typed.isEmpty() && typed.at(0).isPrint()
           && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

void TDBEditEh::onTextEdited(const QString &typed)
{
    if (m_loading)
        return;
    DataSet *ds = m_link->dataSet();
    if (!ds || !ds->isEditing()) {
        // A change that came by no key (a menu's paste, a drop, a picked recent value).
        const int cursor = cursorPosition();
        if (!readyRow()) {
            QApplication::beep();
            showValue();
            return;
        }
        // Beginning the edit showed the row's value again (empty for a new row).
        QScopedValueRollback<bool> loading(m_loading, true);
        setText(typed);
        setCursorPosition(cursor);
    }
    m_typed = true;
    if (m_historyEnabled && m_completer) {
        m_completer->setCompletionPrefix(typed);
        if (typed.isEmpty())
            m_completer->popup()->hide();
        else
            m_completer->complete();
    }
}

void TDBEditEh::updateRecord()
{
    if (!m_typed || !m_link->isActive() || !m_link->dataSet()->isEditing())
        return;
    const QString typed = text();
    m_link->write(FieldText::parse(m_link->field().kind, typed));
    // An unchanged value is not shown again by the link; the text is no longer pending either.
    m_typed = false;
    if (m_historyEnabled && !typed.trimmed().isEmpty())
        addHistory(typed.trimmed());
}

TDBEditEh::KeyFilter TDBEditEh::effectiveKeyFilter() const
{
    if (m_keyFilter != FieldKindKeys)
        return m_keyFilter;
    if (!m_link->isActive())
        return NoKeyFilter;
    switch (m_link->field().kind) {
    case FieldKind::Integer:
        return IntegerKeys;
    case FieldKind::Currency:
        return DecimalKeys;
    default:
        return NoKeyFilter;
    }
}

void TDBEditEh::keyPressEvent(QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    if (m_historyEnabled && ((event->key() == Qt::Key_Down && mods == Qt::AltModifier)
                             || (event->key() == Qt::Key_F4 && mods == Qt::NoModifier))) {
        showHistory();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape && mods == Qt::NoModifier && m_typed) {
        revert();
        selectAll();
        event->accept();
        return;
    }
    const KeyFilter filter = effectiveKeyFilter();
    const QString typed = event->text();
    if (filter != NoKeyFilter && !typed.isEmpty() && typed.at(0).isPrint()
        && !(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        const QString point = QLocale().decimalPoint();
        for (const QChar c : typed) {
            const bool sign = c == u'+' || c == u'-';
            const bool decimal = filter == DecimalKeys && (c == u'.' || point.contains(c));
            if (!(c >= u'0' && c <= u'9') && !sign && !decimal) {
                QApplication::beep();
                event->accept();
                return;
            }
        }
    }
    // The row is readied before the key changes the text, so that a key which begins a new row
    // types into the new row's empty box rather than into the old row's value.
    if (!isReadOnly() && changesText(event) && !readyRow()) {
        QApplication::beep();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TDBEditEh::inputMethodEvent(QInputMethodEvent *event)
{
    if (!isReadOnly() && (!event->commitString().isEmpty() || !event->preeditString().isEmpty()) && !readyRow()) {
        QApplication::beep();
        event->accept();
        return;
    }
    QLineEdit::inputMethodEvent(event);
}

void TDBEditEh::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    // A menu or another window taking the focus is not leaving the control.
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason)
        return;
    if (!m_typed)
        return;
    if (!Guarded(this, [&] { updateRecord(); })) {
        selectAll();
        setFocus();
    }
}

void TDBEditEh::setHistoryEnabled(bool on)
{
    m_historyEnabled = on;
    if (on && !m_completer) {
        m_history = new QStringListModel(this);
        m_completer = new QCompleter(m_history, this);
        m_completer->setCaseSensitivity(Qt::CaseInsensitive);
        m_completer->setCompletionMode(QCompleter::PopupCompletion);
        m_completer->setWidget(this);
        // Ours is installed after the completer's own filter, so it sees the keys first.
        m_completer->popup()->installEventFilter(this);
        connect(m_completer, qOverload<const QString &>(&QCompleter::activated), this, &TDBEditEh::pickHistory);
        m_dropAction = addAction(dropDownIcon(palette()), QLineEdit::TrailingPosition);
        m_dropAction->setObjectName(QStringLiteral("historyDropDown"));
        connect(m_dropAction, &QAction::triggered, this, &TDBEditEh::showHistory);
    }
    if (m_dropAction)
        m_dropAction->setVisible(on);
}

void TDBEditEh::setHistoryLimit(int limit)
{
    m_historyLimit = qMax(1, limit);
    if (m_history && m_history->rowCount() > m_historyLimit)
        m_history->removeRows(m_historyLimit, m_history->rowCount() - m_historyLimit);
}

QStringList TDBEditEh::history() const
{
    return m_history ? m_history->stringList() : QStringList();
}

void TDBEditEh::addHistory(const QString &value)
{
    if (!m_history)
        return;
    QStringList values = m_history->stringList();
    values.removeAll(value);
    values.prepend(value);
    while (values.size() > m_historyLimit)
        values.removeLast();
    m_history->setStringList(values);
}

void TDBEditEh::showHistory()
{
    if (!m_historyEnabled || !m_completer || m_history->rowCount() == 0 || isReadOnly() || !isEnabled())
        return;
    m_completer->setCompletionPrefix(QString());
    m_completer->complete();
}

bool TDBEditEh::isHistoryVisible() const
{
    return m_completer && m_completer->popup()->isVisible();
}

void TDBEditEh::pickHistory(const QString &value)
{
    if (value == text() && m_typed)
        return;
    // A picked value counts as typed: it edits the row like keys would.
    setText(value);
    onTextEdited(value);
    if (m_completer)
        m_completer->popup()->hide();
}

bool TDBEditEh::eventFilter(QObject *watched, QEvent *event)
{
    if (m_completer && watched == m_completer->popup() && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        QAbstractItemView *popup = m_completer->popup();
        if (key->key() == Qt::Key_Escape) {
            popup->hide();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            const QModelIndex picked = popup->currentIndex();
            popup->hide();
            if (picked.isValid()) {
                pickHistory(picked.data().toString());
            } else {
                QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text());
                QCoreApplication::sendEvent(this, &copy);
            }
            return true;
        }
    }
    return QLineEdit::eventFilter(watched, event);
}
