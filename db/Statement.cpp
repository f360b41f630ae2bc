#include "db/Statement.h"

#include "base/Windows1251.h"
#include "db/BlobId.h"
#include "db/Database.h"
#include "db/DatabaseError.h"
#include "db/Firebird.h"

#include <QDateTime>

#include <cmath>
#include <cstring>

using namespace Firebird;

namespace vornic {
namespace {

constexpr unsigned kDialect = 3;

unsigned baseType(unsigned type) {
    return type & ~1u;
}

ISC_QUAD toQuad(const BlobId& id) {
    ISC_QUAD quad;
    quad.gds_quad_high = static_cast<ISC_LONG>(id.high);
    quad.gds_quad_low = id.low;
    return quad;
}

BlobId fromQuad(const ISC_QUAD& quad) {
    return BlobId{static_cast<std::uint32_t>(quad.gds_quad_high), static_cast<std::uint32_t>(quad.gds_quad_low)};
}

ISC_TIMESTAMP toTimestamp(const QDateTime& value) {
    const QDate date = value.date();
    const QTime time = value.time();
    ISC_TIMESTAMP stamp;
    stamp.timestamp_date = fb::util()->encodeDate(
        static_cast<unsigned>(date.year()), static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    stamp.timestamp_time =
        fb::util()->encodeTime(static_cast<unsigned>(time.hour()), static_cast<unsigned>(time.minute()),
                               static_cast<unsigned>(time.second()), static_cast<unsigned>(time.msec() * 10));
    return stamp;
}

QDate fromIscDate(ISC_DATE value) {
    unsigned year = 0, month = 0, day = 0;
    fb::util()->decodeDate(value, &year, &month, &day);
    return QDate(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
}

QTime fromIscTime(ISC_TIME value) {
    unsigned hours = 0, minutes = 0, seconds = 0, fractions = 0;
    fb::util()->decodeTime(value, &hours, &minutes, &seconds, &fractions);
    return QTime(static_cast<int>(hours), static_cast<int>(minutes), static_cast<int>(seconds),
                 static_cast<int>(fractions / 10));
}

template <class T> T readAt(const unsigned char* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <class T> void writeAt(unsigned char* at, const T& value) {
    std::memcpy(at, &value, sizeof value);
}

// Where a column's value lies in the output message, and of what type it is.
struct ColumnLayout {
    unsigned type = 0;
    int scale = 0;
    unsigned length = 0;
    unsigned offset = 0;
    unsigned nullOffset = 0;
};

// One column's value from its bytes in the output message.
QVariant cellValue(const ColumnLayout& layout, const unsigned char* at) {
    const int scale = layout.scale;
    const auto scaled = [scale](qint64 raw) -> QVariant {
        if (scale >= 0)
            return raw;
        return static_cast<double>(raw) / std::pow(10.0, -scale);
    };
    switch (layout.type) {
    case SQL_VARYING: {
        const auto length = readAt<ISC_USHORT>(at);
        return windows1251::decode(QByteArrayView(at + sizeof(ISC_USHORT), length));
    }
    case SQL_TEXT:
        return windows1251::decode(QByteArrayView(at, layout.length));
    case SQL_SHORT:
        return scaled(readAt<ISC_SHORT>(at));
    case SQL_LONG:
        return scaled(readAt<ISC_LONG>(at));
    case SQL_INT64:
        return scaled(readAt<ISC_INT64>(at));
    case SQL_FLOAT:
        return static_cast<double>(readAt<float>(at));
    case SQL_DOUBLE:
        return readAt<double>(at);
    case SQL_TIMESTAMP: {
        const auto stamp = readAt<ISC_TIMESTAMP>(at);
        return QDateTime(fromIscDate(stamp.timestamp_date), fromIscTime(stamp.timestamp_time));
    }
    case SQL_TYPE_DATE:
        return fromIscDate(readAt<ISC_DATE>(at));
    case SQL_TYPE_TIME:
        return fromIscTime(readAt<ISC_TIME>(at));
    case SQL_BOOLEAN:
        return readAt<FB_BOOLEAN>(at) != 0;
    case SQL_BLOB:
        return QVariant::fromValue(fromQuad(readAt<ISC_QUAD>(at)));
    default:
        return {};
    }
}

} // namespace

struct Statement::Impl {
    Database& database;
    QString sql;
    fb::Handle<IStatement> statement;
    fb::Handle<IMessageMetadata> inputMeta;
    fb::Handle<IMessageMetadata> outputMeta;
    fb::Handle<IResultSet> cursor;
    std::vector<unsigned char> outputBuffer;
    QVariantList parameters;
    bool rowFetched = false;

    // The output message's layout, read once at prepare so that reading a row asks the client nothing.
    std::vector<ColumnLayout> columns;

    explicit Impl(Database& db) : database(db) {}

    void refuseWhenCancelled() const {
        if (database.isCancelled())
            throw DatabaseError(QStringLiteral("Операция прервана."));
    }

    // Builds the input message for the bound values. Each value travels in the type that carries it best;
    // the server converts it to the column's own type, and refuses it with its own message where it can't.
    struct Input {
        fb::Handle<IMessageMetadata> meta;
        std::vector<unsigned char> buffer;
    };

    Input buildInput(fb::Status& status) {
        Input input;
        const unsigned count = inputMeta->getCount(&status);
        if (count == 0)
            return input;
        fb::Handle<IMetadataBuilder> builder(inputMeta->getBuilder(&status));
        std::vector<QByteArray> texts(count);
        std::vector<ISC_QUAD> blobs(count);
        for (unsigned i = 0; i < count; ++i) {
            const QVariant& value = parameters.value(static_cast<int>(i));
            const unsigned declared = baseType(inputMeta->getType(&status, i));
            if (value.isNull() || !value.isValid())
                continue;
            if (value.metaType() == QMetaType::fromType<BlobId>()) {
                blobs[i] = toQuad(value.value<BlobId>());
                builder->setType(&status, i, SQL_BLOB);
                builder->setLength(&status, i, sizeof(ISC_QUAD));
                continue;
            }
            switch (value.typeId()) {
            case QMetaType::QByteArray:
            case QMetaType::QString: {
                const QByteArray bytes =
                    value.typeId() == QMetaType::QString ? toDatabaseText(value.toString()) : value.toByteArray();
                if (declared == SQL_BLOB) {
                    blobs[i] = writeBlob(status, bytes);
                    builder->setLength(&status, i, sizeof(ISC_QUAD));
                } else {
                    if (bytes.size() > 32765)
                        throw DatabaseError(QStringLiteral("Значение длиннее 32765 байт не помещается в поле."));
                    texts[i] = bytes;
                    builder->setType(&status, i, SQL_VARYING);
                    builder->setLength(&status, i, static_cast<unsigned>(std::max<qsizetype>(bytes.size(), 1)));
                    builder->setCharSet(&status, i, 0);
                    builder->setSubType(&status, i, 0);
                }
                break;
            }
            case QMetaType::Double:
            case QMetaType::Float:
                builder->setType(&status, i, SQL_DOUBLE);
                builder->setLength(&status, i, sizeof(double));
                builder->setScale(&status, i, 0);
                break;
            case QMetaType::QDateTime:
            case QMetaType::QDate:
                builder->setType(&status, i, SQL_TIMESTAMP);
                builder->setLength(&status, i, sizeof(ISC_TIMESTAMP));
                builder->setScale(&status, i, 0);
                break;
            default:
                if (!value.canConvert<qint64>())
                    throw DatabaseError(QStringLiteral("Значение параметра %1 не поддерживается.").arg(i + 1));
                builder->setType(&status, i, SQL_INT64);
                builder->setLength(&status, i, sizeof(ISC_INT64));
                builder->setScale(&status, i, 0);
                break;
            }
        }
        input.meta.reset(builder->getMetadata(&status));
        input.buffer.assign(input.meta->getMessageLength(&status), 0);
        unsigned char* const base = input.buffer.data();
        for (unsigned i = 0; i < count; ++i) {
            const QVariant& value = parameters.value(static_cast<int>(i));
            unsigned char* const at = base + input.meta->getOffset(&status, i);
            const bool isNull = value.isNull() || !value.isValid();
            writeAt<ISC_SHORT>(base + input.meta->getNullOffset(&status, i), isNull ? -1 : 0);
            if (isNull)
                continue;
            switch (baseType(input.meta->getType(&status, i))) {
            case SQL_BLOB:
                writeAt(at, blobs[i]);
                break;
            case SQL_VARYING:
                writeAt<ISC_USHORT>(at, static_cast<ISC_USHORT>(texts[i].size()));
                std::memcpy(at + sizeof(ISC_USHORT), texts[i].constData(), static_cast<size_t>(texts[i].size()));
                break;
            case SQL_DOUBLE:
                writeAt<double>(at, value.toDouble());
                break;
            case SQL_TIMESTAMP:
                writeAt(at, toTimestamp(value.typeId() == QMetaType::QDate ? value.toDate().startOfDay()
                                                                           : value.toDateTime()));
                break;
            case SQL_INT64:
                writeAt<ISC_INT64>(at, value.toLongLong());
                break;
            default:
                break;
            }
        }
        return input;
    }

    ISC_QUAD writeBlob(fb::Status& status, const QByteArray& bytes) {
        ISC_QUAD id{};
        fb::Handle<IBlob> blob(database.attachment()->createBlob(&status, database.transaction(), &id, 0, nullptr));
        constexpr qsizetype kSegment = 32768;
        for (qsizetype at = 0; at < bytes.size(); at += kSegment) {
            const qsizetype length = std::min(kSegment, bytes.size() - at);
            blob->putSegment(&status, static_cast<unsigned>(length), bytes.constData() + at);
        }
        blob->close(&status);
        blob.forget();
        return id;
    }

    void describeColumns(fb::Status& status) {
        const unsigned count = outputMeta->getCount(&status);
        columns.resize(count);
        for (unsigned i = 0; i < count; ++i) {
            columns[i].type = baseType(outputMeta->getType(&status, i));
            columns[i].scale = outputMeta->getScale(&status, i);
            columns[i].length = outputMeta->getLength(&status, i);
            columns[i].offset = outputMeta->getOffset(&status, i);
            columns[i].nullOffset = outputMeta->getNullOffset(&status, i);
        }
    }

    QVariant column(unsigned index) const {
        const ColumnLayout& layout = columns[index];
        const unsigned char* const base = outputBuffer.data();
        if (readAt<ISC_SHORT>(base + layout.nullOffset) != 0)
            return {};
        return cellValue(layout, base + layout.offset);
    }

    // The bytes of a column's value in the output message: a text of varying length carries its own.
    static unsigned cellSize(const ColumnLayout& layout, const unsigned char* at) {
        return layout.type == SQL_VARYING ? static_cast<unsigned>(sizeof(ISC_USHORT)) + readAt<ISC_USHORT>(at)
                                          : layout.length;
    }

    // The row as a flag byte per column (0 for null), each followed by the value's bytes as the message holds them.
    std::size_t packedSize() const {
        const unsigned char* const base = outputBuffer.data();
        std::size_t size = 0;
        for (const ColumnLayout& layout : columns) {
            ++size;
            if (readAt<ISC_SHORT>(base + layout.nullOffset) == 0)
                size += cellSize(layout, base + layout.offset);
        }
        return size;
    }

    void pack(unsigned char* out) const {
        const unsigned char* const base = outputBuffer.data();
        for (const ColumnLayout& layout : columns) {
            const bool isNull = readAt<ISC_SHORT>(base + layout.nullOffset) != 0;
            *out++ = isNull ? 0 : 1;
            if (isNull)
                continue;
            const unsigned cell = cellSize(layout, base + layout.offset);
            std::memcpy(out, base + layout.offset, cell);
            out += cell;
        }
    }

    QVariant packedColumn(const unsigned char* at, unsigned index) const {
        for (unsigned i = 0; i < index; ++i) {
            const bool isNull = *at++ == 0;
            if (!isNull)
                at += cellSize(columns[i], at);
        }
        if (*at++ == 0)
            return {};
        return cellValue(columns[index], at);
    }
};

Statement::Statement(Database& database, const QString& sql) : d(std::make_unique<Impl>(database)) {
    d->sql = sql;
    const QByteArray text = toDatabaseText(sql);
    auto guard = database.lock();
    try {
        fb::Status status;
        d->statement.reset(database.attachment()->prepare(&status, database.transaction(), 0, text.constData(),
                                                          kDialect, IStatement::PREPARE_PREFETCH_METADATA));
        d->inputMeta.reset(d->statement->getInputMetadata(&status));
        d->outputMeta.reset(d->statement->getOutputMetadata(&status));
        d->parameters.resize(static_cast<qsizetype>(d->inputMeta->getCount(&status)));
        d->describeColumns(status);
    } catch (const FbException& error) {
        throw fb::databaseError(error);
    }
}

Statement::~Statement() {
    auto guard = d->database.lock();
    d->cursor.reset();
    d->statement.reset();
}

int Statement::parameterCount() const {
    return static_cast<int>(d->parameters.size());
}

void Statement::bind(int index, const QVariant& value) {
    if (index < 0 || index >= d->parameters.size())
        throw DatabaseError(QStringLiteral("Нет параметра с номером %1 в запросе: %2").arg(index + 1).arg(d->sql));
    d->parameters[index] = value;
}

void Statement::execute() {
    auto guard = d->database.lock();
    d->refuseWhenCancelled();
    try {
        fb::Status status;
        Impl::Input input = d->buildInput(status);
        const unsigned outputCount = d->outputMeta->getCount(&status);
        if (outputCount > 0)
            d->outputBuffer.assign(d->outputMeta->getMessageLength(&status), 0);
        d->statement->execute(
            &status, d->database.transaction(), input.meta.get(), input.buffer.empty() ? nullptr : input.buffer.data(),
            outputCount > 0 ? d->outputMeta.get() : nullptr, outputCount > 0 ? d->outputBuffer.data() : nullptr);
        d->rowFetched = outputCount > 0;
    } catch (const FbException& error) {
        throw fb::databaseError(error);
    }
}

quint64 Statement::affectedRows() const {
    auto guard = d->database.lock();
    try {
        fb::Status status;
        return d->statement->getAffectedRecords(&status);
    } catch (const FbException& error) {
        throw fb::databaseError(error);
    }
}

void Statement::open() {
    auto guard = d->database.lock();
    d->refuseWhenCancelled();
    close();
    try {
        fb::Status status;
        Impl::Input input = d->buildInput(status);
        d->outputBuffer.assign(d->outputMeta->getMessageLength(&status), 0);
        d->cursor.reset(d->statement->openCursor(&status, d->database.transaction(), input.meta.get(),
                                                 input.buffer.empty() ? nullptr : input.buffer.data(),
                                                 d->outputMeta.get(), 0));
        d->rowFetched = false;
    } catch (const FbException& error) {
        throw fb::databaseError(error);
    }
}

bool Statement::fetch() {
    auto guard = d->database.lock();
    d->refuseWhenCancelled();
    if (!d->cursor)
        return false;
    try {
        fb::Status status;
        if (d->cursor->fetchNext(&status, d->outputBuffer.data()) == IStatus::RESULT_OK) {
            d->rowFetched = true;
            return true;
        }
        d->rowFetched = false;
        d->cursor->close(&status);
        d->cursor.forget();
        return false;
    } catch (const FbException& error) {
        d->cursor.reset();
        throw fb::databaseError(error);
    }
}

bool Statement::isOpen() const {
    return static_cast<bool>(d->cursor);
}

void Statement::close() {
    auto guard = d->database.lock();
    if (!d->cursor)
        return;
    try {
        fb::Status status;
        d->cursor->close(&status);
        d->cursor.forget();
    } catch (const FbException&) {
        d->cursor.reset(); // the cursor is of no further use either way
    }
}

void Statement::abandon() noexcept {
    auto guard = d->database.lock();
    d->cursor.reset();
}

int Statement::columnCount() const {
    return static_cast<int>(d->columns.size());
}

QStringList Statement::columnNames() const {
    QStringList names;
    try {
        fb::Status status;
        const unsigned count = d->outputMeta->getCount(&status);
        for (unsigned i = 0; i < count; ++i)
            names.append(windows1251::decode(QByteArrayView(d->outputMeta->getAlias(&status, i))));
    } catch (const FbException& error) {
        throw fb::databaseError(error);
    }
    return names;
}

QString Statement::plan() const {
    try {
        fb::Status status;
        auto guard = d->database.lock();
        const char* text = d->statement->getPlan(&status, false);
        return text ? QString::fromUtf8(text).trimmed() : QString();
    } catch (const FbException& error) {
        throw fb::databaseError(error);
    }
}

bool Statement::isBinaryColumn(int column) const {
    return d->columns.at(static_cast<size_t>(column)).type == SQL_BLOB;
}

QVariant Statement::value(int column) const {
    if (!d->rowFetched || column < 0 || column >= columnCount())
        return {};
    return d->column(static_cast<unsigned>(column));
}

QVariantList Statement::row() const {
    QVariantList values;
    if (!d->rowFetched)
        return values;
    values.reserve(columnCount());
    for (unsigned i = 0; i < d->columns.size(); ++i)
        values.append(d->column(i));
    return values;
}

std::size_t Statement::packedRowSize() const {
    return d->rowFetched ? d->packedSize() : 0;
}

void Statement::packRow(unsigned char* out) const {
    if (d->rowFetched)
        d->pack(out);
}

QVariant Statement::packedValue(const unsigned char* packed, int column) const {
    if (!packed || column < 0 || column >= columnCount())
        return {};
    return d->packedColumn(packed, static_cast<unsigned>(column));
}

} // namespace vornic
