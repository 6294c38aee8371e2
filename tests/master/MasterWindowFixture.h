// MasterWindowFixture.h: what the master-data window tests share: a fresh database with the data
// manager and a message recorder, the window shown and active, its children by name, the
// navigator's buttons, typing and the grid's cells.
#pragma once

#include "DBEditEh.h"
#include "DBGridEh.h"
#include "MessageRecorder.h"
#include "MyNavEh.h"
#include "TestDatabase.h"
#include "UCommon.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QtTest>

// An information box of the data manager, as the recorder shows it.
inline QString info(const QString &text)
{
    return QStringLiteral("错误提示|%1|information|Ok").arg(text);
}

// Types the text key by key; characters beyond ASCII arrive as key events with text.
inline void type(QWidget *w, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

template <typename Window>
struct MasterWindowFixture
{
    TestDatabase t;
    TKelvaraMg mg;
    MessageRecorder rec;
    QPointer<Window> w;

    MasterWindowFixture() { KelvaraMg = &mg; }
    ~MasterWindowFixture()
    {
        delete w;
        KelvaraMg = nullptr;
    }
    MasterWindowFixture(const MasterWindowFixture &) = delete;
    MasterWindowFixture &operator=(const MasterWindowFixture &) = delete;

    void open()
    {
        w = new Window;
        w->show();
        QApplication::setActiveWindow(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
    }
    template <typename T>
    T *child(const char *name) const { return w->template findChild<T *>(QString::fromLatin1(name)); }
    void press(TNavigateBtn button) const
    {
        QTest::mouseClick(child<TMyDBNavigator>("MyDBNavigator1")->button(button), Qt::LeftButton);
    }
    // Clears the edit box and types the text into it.
    void retype(const char *box, const QString &text) const
    {
        auto *e = child<TDBEditEh>(box);
        e->setFocus();
        QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(e, Qt::Key_Backspace);
        type(e, text);
    }
    // The grid's cells, row by row, "|" between cells.
    static QStringList cellsOf(const TDBGridEh *grid)
    {
        QStringList rows;
        const QAbstractItemModel *m = grid->model();
        for (int r = 0; r < m->rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < m->columnCount(); ++c)
                row << m->index(r, c).data().toString();
            rows << row.join(u'|');
        }
        return rows;
    }
};
