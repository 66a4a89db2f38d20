// Shared set-up of the fuzz programs: one QCoreApplication, the program's
// translation and formatting, every log line formatted but thrown away (so the
// logging paths run too without flooding the output), and a cursor over the
// input for targets that take a few parameters before their data.
#pragma once
#include <QAbstractItemModel>
#include <QByteArray>
#include <QCoreApplication>
#include <QModelIndex>
#include <QVariant>
#include <cstddef>
#include <cstdint>

#include "model/Startup.h"
#include "platform/Log.h"

namespace Fuzz {

class DiscardPrinter : public SysLogPrinter {
public:
    void write(const char *, size_t) override {}
};

inline void quietMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

// Call at the top of LLVMFuzzerTestOneInput; the set-up runs once.
inline void setUp()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static DiscardPrinter printer;
    SysLogStream::setStdOutPrinter(&printer);
    SysLogFilter::setLevel(0);
    qInstallMessageHandler(quietMessages);
    Applications::DriveScope::setupTranslationAndFormatting();
}

// Keeps a result alive so the work that made it is not optimised away.
inline void keep(size_t value)
{
    static volatile size_t sink;
    sink = value;
}

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Reads small parameters off the front of the input; the rest is the payload.
class Cursor {
public:
    Cursor(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    quint8 byte()
    {
        if (m_pos >= m_size)
            return 0;
        return m_data[m_pos++];
    }
    quint32 u32()
    {
        quint32 v = 0;
        for (int i = 0; i < 4; ++i)
            v |= quint32(byte()) << (8 * i);
        return v;
    }
    QByteArray take(size_t count)
    {
        const size_t n = std::min(count, m_size - m_pos);
        QByteArray out(reinterpret_cast<const char *>(m_data + m_pos), qsizetype(n));
        m_pos += n;
        return out;
    }
    QByteArray rest() { return take(m_size - m_pos); }
    size_t left() const { return m_size - m_pos; }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Asks a model for everything a view would: every cell (children too) in the
// roles a view uses, and the headers. Returns a number that depends on the
// answers, so the work cannot be optimised away.
inline size_t walkModel(const QAbstractItemModel &model, const QModelIndex &parent = QModelIndex(), int depth = 0)
{
    static const int roles[] = {Qt::DisplayRole,    Qt::ToolTipRole,       Qt::FontRole,       Qt::ForegroundRole,
                                Qt::BackgroundRole, Qt::TextAlignmentRole, Qt::DecorationRole, Qt::UserRole};
    size_t sum = 0;
    const int rows = model.rowCount(parent);
    const int columns = model.columnCount(parent);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const QModelIndex index = model.index(r, c, parent);
            for (int role : roles)
                sum += size_t(model.data(index, role).toString().size());
            sum += size_t(model.flags(index));
            sum += size_t(model.parent(index) == parent);
            if (c == 0 && depth < 4)
                sum += walkModel(model, index, depth + 1);
        }
    }
    if (depth == 0) {
        for (int c = 0; c < columns; ++c)
            for (int role : roles)
                sum += size_t(model.headerData(c, Qt::Horizontal, role).toString().size());
        // Out-of-range questions a view may ask while rows change.
        sum += size_t(model.data(model.index(rows, 0)).isValid());
        sum += size_t(model.headerData(columns, Qt::Horizontal).isValid());
    }
    return sum;
}

} // namespace Fuzz
