#include "simulation/JsonReader.h"

#include <QTest>

using kd::JsonReader;

namespace {

QVariantMap map(std::initializer_list<std::pair<QString, QVariant>> members)
{
    QVariantMap result;
    for (const auto& member : members)
        result.insert(member.first, member.second);
    return result;
}

QVariant u(quint64 value)
{
    return QVariant(value);
}

// Depth of the first-element chain of nested containers.
int nestingDepth(QVariant value)
{
    int depth = 0;
    for (;;) {
        if (value.typeId() == QMetaType::QVariantList) {
            ++depth;
            const QVariantList list = value.toList();
            if (list.isEmpty())
                return depth;
            value = list.first();
        } else if (value.typeId() == QMetaType::QVariantMap) {
            ++depth;
            const QVariantMap object = value.toMap();
            if (object.isEmpty())
                return depth;
            value = object.first();
        } else {
            return depth;
        }
    }
}

QString nestedArrays(int depth)
{
    return QString(depth, u'[') + QString(depth, u']');
}

// Alternates arrays and objects: [{"a":[{"a":...null...}]}].
QString nestedMixed(int depth)
{
    QString open;
    QString close;
    for (int i = 0; i < depth; ++i) {
        if (i % 2 == 0) {
            open += u'[';
            close.prepend(u']');
        } else {
            open += QStringLiteral("{\"a\":");
            close.prepend(u'}');
        }
    }
    return open + QStringLiteral("null") + close;
}

} // namespace

class tst_JsonReader : public QObject
{
    Q_OBJECT

private slots:
    void parsesValues_data();
    void parsesValues();
    void numberTypes_data();
    void numberTypes();
    void rejects_data();
    void rejects();
    void nestingLimit_data();
    void nestingLimit();
    void readerIsReusableAfterFailure();
};

void tst_JsonReader::parsesValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("empty text") << QString() << QVariant();
    QTest::newRow("null") << QStringLiteral("null") << QVariant();
    QTest::newRow("true") << QStringLiteral(" \t\r\ntrue") << QVariant(true);
    QTest::newRow("false") << QStringLiteral("false") << QVariant(false);
    QTest::newRow("trailing text ignored") << QStringLiteral("true and more") << QVariant(true);

    QTest::newRow("extra commas in object")
        << QStringLiteral("{\"a\":1,,\"b\":2,}") << QVariant(map({{"a", u(1)}, {"b", u(2)}}));
    QTest::newRow("no commas in object")
        << QStringLiteral("{\"a\":1 \"b\":2}") << QVariant(map({{"a", u(1)}, {"b", u(2)}}));
    QTest::newRow("array without commas")
        << QStringLiteral("[1 2]") << QVariant(QVariantList{u(1), u(2)});
    QTest::newRow("array with extra commas")
        << QStringLiteral("[,1,,2,]") << QVariant(QVariantList{u(1), u(2)});
    QTest::newRow("empty containers")
        << QStringLiteral("{\"a\" : [ ]\r\n, \"b\":\t{}}")
        << QVariant(map({{"a", QVariantList()}, {"b", QVariantMap()}}));
    QTest::newRow("repeated key keeps last")
        << QStringLiteral("{\"a\":1,\"a\":\"x\"}") << QVariant(map({{"a", "x"}}));
    QTest::newRow("key opened by another token character")
        << QStringLiteral("{[key\": true}") << QVariant(map({{"key", true}}));
    QTest::newRow("nested") << QStringLiteral("{\"runs\":[{\"title\":\"x\",\"active\":false},[]]}")
                            << QVariant(map(
                                   {{"runs", QVariantList{map({{"title", "x"}, {"active", false}}),
                                                          QVariantList()}}}));

    QTest::newRow("simple escapes") << QStringLiteral("\"a\\\"b\\\\c\\/d\\b\\f\\n\\r\\t\"")
                                    << QVariant(QStringLiteral("a\"b\\c/d\b\f\n\r\t"));
    QTest::newRow("unicode escape")
        << QStringLiteral("\"\\u00e9\\u00C9\"") << QVariant(QStringLiteral("\u00e9\u00c9"));
    QTest::newRow("surrogate pair")
        << QStringLiteral("\"\\ud83d\\ude00\"") << QVariant(QString::fromUtf8("\xF0\x9F\x98\x80"));
    QTest::newRow("unknown escape dropped")
        << QStringLiteral("\"a\\qb\"") << QVariant(QStringLiteral("ab"));
    QTest::newRow("raw line break kept")
        << QStringLiteral("\"a\nb\"") << QVariant(QStringLiteral("a\nb"));
}

void tst_JsonReader::parsesValues()
{
    QFETCH(QString, text);
    QFETCH(QVariant, expected);

    bool ok = false;
    JsonReader reader;
    const QVariant result = reader.parse(text, ok);
    QVERIFY(ok);
    QCOMPARE(result.isValid(), expected.isValid());
    QCOMPARE(result, expected);
}

void tst_JsonReader::numberTypes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("expected");

    const int dbl = QMetaType::Double;
    const int sgn = QMetaType::LongLong;
    const int uns = QMetaType::ULongLong;
    QTest::newRow("decimal") << "1.5" << dbl << QVariant(1.5);
    QTest::newRow("negative") << "-3" << sgn << QVariant(qint64(-3));
    QTest::newRow("positive") << "7" << uns << u(7);
    QTest::newRow("exponent without point") << "1e5" << uns << u(0);
    QTest::newRow("exponent with point") << "-1.5e2" << dbl << QVariant(-150.0);
    QTest::newRow("sign in the middle") << "1-2" << uns << u(0);
    QTest::newRow("lone minus") << "-" << sgn << QVariant(qint64(0));
    QTest::newRow("largest unsigned")
        << "18446744073709551615" << uns << u(std::numeric_limits<quint64>::max());
    QTest::newRow("unsigned overflow") << "18446744073709551616" << uns << u(0);
    QTest::newRow("smallest signed")
        << "-9223372036854775808" << sgn << QVariant(std::numeric_limits<qint64>::min());
}

void tst_JsonReader::numberTypes()
{
    QFETCH(QString, text);
    QFETCH(int, type);
    QFETCH(QVariant, expected);

    bool ok = false;
    JsonReader reader;
    // Inside an array as well, so that the end of the number is found mid-text.
    const QVariant single = reader.parse(text, ok);
    QVERIFY(ok);
    QCOMPARE(single.typeId(), type);
    QCOMPARE(single, expected);

    const QVariant list = reader.parse(QStringLiteral("[ %1]").arg(text), ok);
    QVERIFY(ok);
    QCOMPARE(list.toList().size(), 1);
    QCOMPARE(list.toList().first().typeId(), type);
    QCOMPARE(list.toList().first(), expected);
}

void tst_JsonReader::rejects_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("blanks only") << QStringLiteral(" \t\r\n");
    QTest::newRow("capitalised keyword") << QStringLiteral("True");
    QTest::newRow("cut keyword true") << QStringLiteral("tru");
    QTest::newRow("cut keyword false") << QStringLiteral("fals");
    QTest::newRow("cut keyword in array") << QStringLiteral("[tru");
    QTest::newRow("unknown character") << QStringLiteral("x");
    QTest::newRow("close brace") << QStringLiteral("}");
    QTest::newRow("colon") << QStringLiteral(":");
    QTest::newRow("comma") << QStringLiteral(",");
    QTest::newRow("key without colon") << QStringLiteral("{\"a\" 1}");
    QTest::newRow("ends after colon") << QStringLiteral("{\"a\":");
    QTest::newRow("member without value") << QStringLiteral("{\"a\":}");
    QTest::newRow("ends after key") << QStringLiteral("{\"a\"");
    QTest::newRow("unclosed object") << QStringLiteral("{\"a\":1");
    QTest::newRow("unclosed array") << QStringLiteral("[1,2");
    QTest::newRow("array open only") << QStringLiteral("[");
    QTest::newRow("key not terminated") << QStringLiteral("{1:2}");
    QTest::newRow("key opened by non-token character") << QStringLiteral("{'a\":1}");
    QTest::newRow("quote only") << QStringLiteral("\"");
    QTest::newRow("unterminated string") << QStringLiteral("\"abc");
    QTest::newRow("ends after backslash") << QStringLiteral("\"abc\\");
    QTest::newRow("key ends after backslash") << QStringLiteral("{\"a\\");
    QTest::newRow("unicode escape cut short") << QStringLiteral("\"\\u00e");
    QTest::newRow("unicode escape not hex") << QStringLiteral("\"\\u00g9\"");
    QTest::newRow("unicode escape with sign") << QStringLiteral("\"\\u+0e9\"");
}

void tst_JsonReader::rejects()
{
    QFETCH(QString, text);

    bool ok = true;
    JsonReader reader;
    const QVariant result = reader.parse(text, ok);
    QVERIFY(!ok);
    QVERIFY(!result.isValid());
}

void tst_JsonReader::nestingLimit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");

    QTest::newRow("512 arrays") << nestedArrays(JsonReader::MaxDepth) << true;
    QTest::newRow("513 arrays") << nestedArrays(JsonReader::MaxDepth + 1) << false;
    QTest::newRow("512 mixed") << nestedMixed(JsonReader::MaxDepth) << true;
    QTest::newRow("513 mixed") << nestedMixed(JsonReader::MaxDepth + 1) << false;
    QTest::newRow("100000 open brackets") << QString(100000, u'[') << false;
    QTest::newRow("100000 open objects") << QStringLiteral("{\"a\":").repeated(100000) << false;
}

void tst_JsonReader::nestingLimit()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);

    bool parsed = !ok;
    JsonReader reader;
    const QVariant result = reader.parse(text, parsed);
    QCOMPARE(parsed, ok);
    if (ok)
        QCOMPARE(nestingDepth(result), JsonReader::MaxDepth);
}

void tst_JsonReader::readerIsReusableAfterFailure()
{
    // A failure deep inside containers must not leave the nesting count raised.
    JsonReader reader;
    bool ok = true;
    reader.parse(QString(JsonReader::MaxDepth - 1, u'[') + QStringLiteral("x"), ok);
    QVERIFY(!ok);
    reader.parse(nestedArrays(JsonReader::MaxDepth), ok);
    QVERIFY(ok);
    const QVariant value = reader.parse(QStringLiteral("[1]"), ok);
    QVERIFY(ok);
    QCOMPARE(value, QVariant(QVariantList{u(1)}));
}

QTEST_GUILESS_MAIN(tst_JsonReader)
#include "tst_jsonreader.moc"
