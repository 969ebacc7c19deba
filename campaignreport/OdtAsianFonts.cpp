#include "campaignreport/OdtAsianFonts.h"

#include <QRegularExpression>
#include <QString>
#include <QtEndian>
#include <optional>
#include <vector>

// Qt for Windows carries zlib inside Qt6Core.dll; Debian's Qt uses the system's.
#ifdef KR3090_NO_ZLIB
QByteArray OdtWithAsianFonts(const QByteArray& odt) {
    return odt;
}
#else
#ifdef KR3090_QT_ZLIB
#include <QtZlib/zlib.h>
#else
#include <zlib.h>
#endif

namespace {

struct TZipEntry {
    QByteArray Name;
    QByteArray Data;  // uncompressed
    quint16 Time = 0, Date = 0;
};

template <class T>
T Read(const QByteArray& bytes, qsizetype at) {
    return qFromLittleEndian<T>(bytes.constData() + at);
}

std::optional<QByteArray> Inflate(const QByteArray& in, quint32 size) {
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    z_stream s{};
    if (inflateInit2(&s, -MAX_WBITS) != Z_OK) return std::nullopt;
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
    s.avail_in = uInt(in.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = uInt(out.size());
    const int done = inflate(&s, Z_FINISH);
    inflateEnd(&s);
    if (done != Z_STREAM_END || s.total_out != size) return std::nullopt;
    return out;
}

// The entries of a zip package, from its central directory; stored and
// deflated entries only (what Qt writes).
std::optional<std::vector<TZipEntry>> ReadZip(const QByteArray& zip) {
    const qsizetype end = zip.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0 || end + 22 > zip.size()) return std::nullopt;
    const quint16 count = Read<quint16>(zip, end + 10);
    qsizetype at = Read<quint32>(zip, end + 16);
    std::vector<TZipEntry> entries;
    for (int k = 0; k < count; ++k) {
        if (at + 46 > zip.size() || Read<quint32>(zip, at) != 0x02014b50) return std::nullopt;
        const quint16 method = Read<quint16>(zip, at + 10);
        TZipEntry e;
        e.Time = Read<quint16>(zip, at + 12);
        e.Date = Read<quint16>(zip, at + 14);
        const quint32 packed = Read<quint32>(zip, at + 20), size = Read<quint32>(zip, at + 24);
        const quint16 nameLength = Read<quint16>(zip, at + 28);
        const qsizetype next = at + 46 + nameLength + Read<quint16>(zip, at + 30) +
                               Read<quint16>(zip, at + 32);
        const qsizetype local = Read<quint32>(zip, at + 42);
        e.Name = zip.mid(at + 46, nameLength);
        if (local + 30 > zip.size() || Read<quint32>(zip, local) != 0x04034b50)
            return std::nullopt;
        const qsizetype data =
            local + 30 + Read<quint16>(zip, local + 26) + Read<quint16>(zip, local + 28);
        if (data + qsizetype(packed) > zip.size()) return std::nullopt;
        const QByteArray raw = zip.mid(data, packed);
        if (method == 0 && packed == size) {
            e.Data = raw;
        } else if (method == 8) {
            std::optional<QByteArray> inflated = Inflate(raw, size);
            if (!inflated) return std::nullopt;
            e.Data = *inflated;
        } else {
            return std::nullopt;
        }
        entries.push_back(std::move(e));
        at = next;
    }
    return entries;
}

// A package of stored entries in the given order (ODF wants "mimetype" first
// and stored, which it already is).
QByteArray WriteZip(const std::vector<TZipEntry>& entries) {
    QByteArray zip, directory;
    const auto put16 = [](QByteArray& b, quint16 v) {
        char c[2];
        qToLittleEndian(v, c);
        b.append(c, 2);
    };
    const auto put32 = [](QByteArray& b, quint32 v) {
        char c[4];
        qToLittleEndian(v, c);
        b.append(c, 4);
    };
    for (const TZipEntry& e : entries) {
        const quint32 crc = quint32(
            crc32(0, reinterpret_cast<const Bytef*>(e.Data.constData()), uInt(e.Data.size())));
        const quint32 offset = quint32(zip.size());
        const auto header = [&](QByteArray& b, bool central) {
            put32(b, central ? 0x02014b50 : 0x04034b50);
            if (central) put16(b, 20);  // made by
            put16(b, 20);               // needed
            put16(b, 0);                // flags
            put16(b, 0);                // stored
            put16(b, e.Time);
            put16(b, e.Date);
            put32(b, crc);
            put32(b, quint32(e.Data.size()));
            put32(b, quint32(e.Data.size()));
            put16(b, quint16(e.Name.size()));
            put16(b, 0);  // extra
            if (central) {
                put16(b, 0);  // comment
                put16(b, 0);  // disk
                put16(b, 0);  // internal attributes
                put32(b, 0);  // external attributes
                put32(b, offset);
            }
            b.append(e.Name);
        };
        header(zip, false);
        zip.append(e.Data);
        header(directory, true);
    }
    const quint32 start = quint32(zip.size());
    zip.append(directory);
    put32(zip, 0x06054b50);
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, quint16(entries.size()));
    put16(zip, quint16(entries.size()));
    put32(zip, quint32(directory.size()));
    put32(zip, start);
    put16(zip, 0);
    return zip;
}

// Each text-properties element gets the Asian and complex twin of the
// Western properties it has and lacks.
QByteArray WithTwins(const QByteArray& xml) {
    static const QRegularExpression element(QStringLiteral("<style:text-properties\\b[^>]*>"));
    static const QRegularExpression property(
        QStringLiteral("\\s(fo:font-size|fo:font-weight|fo:font-style|fo:font-family|style:font-name)=\"([^\"]*)\""));
    const QString text = QString::fromUtf8(xml);
    QString out;
    qsizetype done = 0;
    for (const QRegularExpressionMatch& m : element.globalMatch(text)) {
        QString tag = m.captured();
        QString twins;
        for (const QRegularExpressionMatch& p : property.globalMatch(tag)) {
            const QString name = p.captured(1).section(u':', 1);
            for (const char* script : {"-asian", "-complex"}) {
                const QString twin = QStringLiteral("style:") + name + QLatin1String(script);
                if (!tag.contains(twin + u'='))
                    twins += QStringLiteral(" %1=\"%2\"").arg(twin, p.captured(2));
            }
        }
        const qsizetype close = tag.endsWith(QStringLiteral("/>")) ? tag.size() - 2 : tag.size() - 1;
        tag.insert(close, twins);
        out += QStringView(text).mid(done, m.capturedStart() - done);
        out += tag;
        done = m.capturedEnd();
    }
    out += QStringView(text).mid(done);
    return out.toUtf8();
}

}  // namespace

QByteArray OdtWithAsianFonts(const QByteArray& odt) {
    std::optional<std::vector<TZipEntry>> entries = ReadZip(odt);
    if (!entries) return odt;
    bool found = false;
    for (TZipEntry& e : *entries)
        if (e.Name == "content.xml" || e.Name == "styles.xml") {
            e.Data = WithTwins(e.Data);
            found = true;
        }
    return found ? WriteZip(*entries) : odt;
}
#endif
