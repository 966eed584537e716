#include "results/CsvWriter.h"

#include <QIODevice>

#include <cstring>

namespace {
constexpr size_t Chunk = size_t(1) << 20;
}

CsvWriter::CsvWriter(QIODevice &out, const QStringList &header)
    : m_out(out)
{
    m_buf.reserve(Chunk + 4096);
    m_buf.append("\xEF\xBB\xBF");
    if (!header.isEmpty())
        addRow(header);
}

void CsvWriter::addText(const char *utf8, int size)
{
    if (!m_firstInRow)
        m_buf.push_back(',');
    m_firstInRow = false;
    if (!utf8 || size <= 0)
        return;
    bool quote = false;
    for (int i = 0; i < size && !quote; ++i) {
        const char c = utf8[i];
        quote = c == ',' || c == '"' || c == '\r' || c == '\n';
    }
    if (!quote) {
        m_buf.append(utf8, size_t(size));
    } else {
        m_buf.push_back('"');
        for (int i = 0; i < size; ++i) {
            if (utf8[i] == '"')
                m_buf.push_back('"');
            m_buf.push_back(utf8[i]);
        }
        m_buf.push_back('"');
    }
}

void CsvWriter::addText(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    addText(bytes.constData(), int(bytes.size()));
}

void CsvWriter::endRow()
{
    m_buf.append("\r\n");
    m_firstInRow = true;
    if (m_buf.size() >= Chunk)
        flush();
}

void CsvWriter::addRow(const QStringList &cells)
{
    for (const QString &c : cells)
        addText(c);
    endRow();
}

void CsvWriter::flush()
{
    if (m_ok && !m_buf.empty() && m_out.write(m_buf.data(), qint64(m_buf.size())) != qint64(m_buf.size())) {
        m_ok = false;
        m_error = m_out.errorString();
    }
    m_buf.clear();
}

bool CsvWriter::finish(QString *error)
{
    flush();
    if (!m_ok && error)
        *error = m_error;
    return m_ok;
}
