#include "TakeMeterEntry.h"

#include "AskAfterRollback.h"
#include "DataSet.h"
#include "Database.h"
#include "Engine.h"
#include "Messages.h"
#include "ReadingStore.h"
#include "UCommon.h"


namespace {

bool sameMeter(const QString &a, const QString &b)
{
    return MeterKey(a) == MeterKey(b);
}

}

TakeMeterEntry::TakeMeterEntry(TKelvaraMg &manager, QWidget *messageOwner, QObject *parent)
    : QObject(parent), m_manager(manager), m_owner(messageOwner), m_readingDate(QDate::currentDate())
{
    m_rows = new DataSet(this);
    m_rows->setObjectName(QStringLiteral("adoTakeMeter"));
    m_rows->setSql(QStringLiteral("select * from TakeMeter"));
    m_rows->setUpdateTable(QStringLiteral("TakeMeter"), { QStringLiteral("MeterID"), QStringLiteral("TakeTime") });
    m_rows->setBeforePost([this] { adoTakeMeterBeforePost(); });
    m_rows->setWriter([this] { adoTakeMeterWrite(); });
    m_rows->setDeleter([this] { adoTakeMeterDelete(); });
    m_rows->setFieldChangeHook([this](const QString &field, const QVariant &value) {
        return newRowForOtherMeter(field, value);
    });
    // The next row is begun once the save has returned to the event loop: the path that saved
    // (an Enter, the navigator, a move to another row) finishes first.
    m_rows->setAfterPost([this] { QMetaObject::invokeMethod(this, &TakeMeterEntry::saved, Qt::QueuedConnection); });
    m_manager.BindQuery(m_rows);
}

QString TakeMeterEntry::alreadyReadText(const QString &meterNo)
{
    return QStringLiteral("表号为 ") + meterNo + QStringLiteral(" 的表在今天已抄过了,你要对它进行修改吗？");
}

QString TakeMeterEntry::notFoundText(const QString &meterNo)
{
    return QStringLiteral("编号为 ") + meterNo + QStringLiteral("  的表不存在，请先在表管理中维护！");
}

QString TakeMeterEntry::repricedText(int count)
{
    return QStringLiteral("已重新计算该表以后的 %1 条抄表记录").arg(count);
}

void TakeMeterEntry::setReadingDate(const QDate &date)
{
    if (!date.isValid() || (date == m_readingDate && m_rows->isActive()))
        return;
    m_readingDate = date;
    OpenReadings();
}

bool TakeMeterEntry::OpenReadings()
{
    m_rows->close();
    m_rows->setParam(QStringLiteral("TakeTime"), m_readingDate.toString(Qt::ISODate));
    try {
        // In the order they were typed.
        m_rows->setSql(QStringLiteral("select * from TakeMeter where TakeTime = :TakeTime order by ")
                       + Engine::of(m_rows->database()).typingOrder());
        m_rows->open();
        return true;
    } catch (const DatabaseError &) {
        ShowMessageBox(m_owner, QStringLiteral("打开表错误！"), QStringLiteral("出错提示"), QMessageBox::Critical);
        return false;
    }
}

bool TakeMeterEntry::start()
{
    if (!m_rows->isActive() || m_rows->isEditing())
        return false;
    m_rows->append();
    return true;
}

QString TakeMeterEntry::storedMeterOfEditedRow() const
{
    return m_rows->state() == DataSet::Edit ? m_rows->storedValue(QStringLiteral("MeterID")).toString() : QString();
}

void TakeMeterEntry::holdRowFor(const QString &number)
{
    if (!m_rows->isEditing())
        m_rows->append();
    m_rows->setValue(QStringLiteral("MeterID"), number);
}

bool TakeMeterEntry::newRowForOtherMeter(const QString &field, const QVariant &value)
{
    // A stored reading never becomes another meter's reading: its correction is dropped and the
    // number begins a new row.
    if (m_rows->state() != DataSet::Edit || field.compare(QStringLiteral("MeterID"), Qt::CaseInsensitive) != 0
        || sameMeter(storedMeterOfEditedRow(), value.toString()))
        return false;
    m_rows->cancel();
    m_rows->append();
    m_rows->setValue(QStringLiteral("MeterID"), value);
    return true;
}

TakeMeterEntry::MeterResult TakeMeterEntry::meterEntered(const QString &typed)
{
    m_matches.clear();
    m_exactMatch = -1;
    m_readingMeterNo = TrimBlanks(typed);
    if (m_readingMeterNo.isEmpty()) {
        m_manager.ShowMessageText(QStringLiteral("请输入表号！"));
        return MeterResult::Empty;
    }
    // The manager's result set lasts only until its next statement: read it at once.
    DataSet *lookup = m_manager.FindMeterNumbers(m_readingMeterNo);
    QStringList found;
    for (lookup->first(); !lookup->eof(); lookup->next())
        found << lookup->value(0).toString();

    if (found.isEmpty()) {
        ShowMessageBox(m_owner, notFoundText(m_readingMeterNo), QStringLiteral("操作提示"), QMessageBox::Information);
        if (m_rows->state() == DataSet::Insert)
            m_rows->setValue(QStringLiteral("MeterID"), QVariant());
        return MeterResult::NotFound;
    }
    if (found.size() > 1) {
        m_matches = found;
        for (int i = 0; i < found.size() && m_exactMatch < 0; ++i)
            if (sameMeter(found.at(i), m_readingMeterNo))
                m_exactMatch = i;
        return MeterResult::Choose;
    }
    return meterChosen(found.constFirst());
}

TakeMeterEntry::MeterResult TakeMeterEntry::meterChosen(const QString &number)
{
    m_readingMeterNo = number;
    holdRowFor(number);
    return offerCorrection(number);
}

TakeMeterEntry::MeterResult TakeMeterEntry::offerCorrection(const QString &number)
{
    // Already correcting this very reading.
    if (m_rows->state() == DataSet::Edit)
        return MeterResult::ToCounter;
    if (!m_manager.IsReadOnDate(number, m_readingDate))
        return MeterResult::ToCounter;
    if (ShowMessageBox(m_owner, alreadyReadText(number), QStringLiteral("提示"), QMessageBox::Question,
                       QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return MeterResult::Declined;

    const int meterField = m_rows->fieldIndex(QStringLiteral("MeterID"));
    int stored = -1;
    for (int pos = 0; pos < m_rows->recordCount() && stored < 0; ++pos) {
        if (m_rows->state() == DataSet::Insert && pos == m_rows->recNo())
            continue;
        if (sameMeter(m_rows->valueAt(pos, meterField).toString(), number))
            stored = pos;
    }
    if (stored < 0) {
        m_manager.ShowMessageText(QStringLiteral("表记录定位错!"));
        return MeterResult::LocateFailed;
    }
    m_rows->cancel();
    m_rows->locate({ QStringLiteral("MeterID"), QStringLiteral("TakeTime") }, { number, m_readingDate });
    m_rows->edit();
    return MeterResult::Correcting;
}

TakeMeterEntry::SaveResult TakeMeterEntry::counterEntered()
{
    m_hookResult = SaveResult::Stored;
    try {
        m_rows->post();
        m_rows->append();
        return m_hookResult;
    } catch (const AbortError &) {
        return m_hookResult == SaveResult::NoMeter ? SaveResult::NoMeter : SaveResult::Kept;
    } catch (const DatabaseError &e) {
        // A locked, read-only, full or damaged file is told by its cause.
        if (e.namesCause())
            throw;
        ShowErrorBox(m_owner, QStringLiteral("数据提交失败！"));
        return SaveResult::Failed;
    } catch (const std::exception &) {
        ShowErrorBox(m_owner, QStringLiteral("数据提交失败！"));
        return SaveResult::Failed;
    }
}

void TakeMeterEntry::adoTakeMeterBeforePost()
{
    m_hookResult = SaveResult::Stored;
    if (m_rows->state() == DataSet::Insert && TrimBlanks(m_rows->asString(QStringLiteral("MeterID"))).isEmpty()) {
        m_manager.ShowMessageText(QStringLiteral("请输入表号！"));
        m_hookResult = SaveResult::NoMeter;
        throw AbortError();
    }
    if (m_rows->isNull(QStringLiteral("TakeNumber")))
        throw DatabaseError(QStringLiteral("请输入当前表数！"));
}

void TakeMeterEntry::adoTakeMeterWrite()
{
    // A correction keeps the meter and date of the reading it opened.
    const bool correcting = m_rows->state() == DataSet::Edit;
    // A number picked from the list may be one an older file stored with a blank: the store finds
    // the exact number first and only then a number equal in MeterKey.
    const QString meter = correcting ? storedMeterOfEditedRow() : m_rows->asString(QStringLiteral("MeterID"));
    // Nothing to correct: the stored figures stay as they were computed.
    if (correcting && !m_rows->isModified())
        return;
    // The field holds 32-bit values only, as the conversion of the typed text checks.
    const qint32 counter = qint32(m_rows->asInteger(QStringLiteral("TakeNumber")));

    // The rollover and unusual-reading questions are asked with no transaction open: a write that
    // needs one is rolled back, the operator answers (No is the default), and the write runs again
    // with the answer. A usual reading is written at once.
    AskAfterRollback questions(m_manager);
    ReadingStore store(m_manager);
    std::optional<StoredReading> row;
    for (;;) {
        {
            TKelvaraMg::HeldMessages held(m_manager);
            runTransaction(m_rows->database(), [&] {
                row = store.write(meter, counter, m_readingDate, correcting);
                return row.has_value();
            });
        }
        if (row || !questions.hasQuestion())
            break;
        if (!questions.ask(m_owner)) {
            m_hookResult = SaveResult::Kept;
            throw AbortError();
        }
    }
    if (!row) {
        if (!store.refusal().isEmpty()) {
            // Refused for a later reading: nothing changed, the row stays for retyping.
            ShowMessageBox(m_owner, store.refusal(), QStringLiteral("操作提示"), QMessageBox::Information);
            m_hookResult = SaveResult::Kept;
            throw AbortError();
        }
        // A new reading is dropped; a correction is dropped and the stored reading stays as it was.
        m_hookResult = SaveResult::Refused;
        m_rows->cancel();
        return;
    }
    m_rows->setValue(QStringLiteral("MeterID"), row->MeterID);
    m_rows->setValue(QStringLiteral("TakeTime"), row->TakeTime);
    m_rows->setValue(QStringLiteral("InputDate"), row->InputDate);
    m_rows->setValue(QStringLiteral("CurValue"), row->CurValue);
    m_rows->setCurrency(QStringLiteral("Charge"), row->Charge);
    m_rows->setCurrency(QStringLiteral("QuotaCharge"), row->QuotaCharge);
    emit repriced(store.repriced().isEmpty() ? QString() : repricedText(int(store.repriced().size())));
}

void TakeMeterEntry::adoTakeMeterDelete()
{
    const QString meter = m_rows->asString(QStringLiteral("MeterID"));
    const QDate date = m_rows->value(QStringLiteral("TakeTime")).toDate();
    ReadingStore store(m_manager);
    bool removed = false;
    {
        TKelvaraMg::HeldMessages held(m_manager);
        removed = runTransaction(m_rows->database(), [&] { return store.remove(meter, date); });
    }
    if (!removed) {
        ShowMessageBox(m_owner, store.refusal(), QStringLiteral("操作提示"), QMessageBox::Information);
        throw AbortError();
    }
    emit repriced(store.repriced().isEmpty() ? QString() : repricedText(int(store.repriced().size())));
}
