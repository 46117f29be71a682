#include "trestle/keyvalues.h"

#include "trestle/utlbuffer.h"

#include "tests/trestle/keyvalues_test_support.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace
{
// Compact picture of a node chain: name{children} for blocks, name=value
// for strings and name:value for integers; peers separated by blanks.
std::string Shape(const KeyValues* p)
{
    std::string out;
    for (; p; p = p->GetNextKey())
    {
        if (!out.empty()) out += ' ';
        out += p->GetName();
        switch (p->GetDataType())
        {
        case KeyValues::TYPE_NONE:
            out += '{' + Shape(p->GetFirstSubKey()) + '}';
            break;
        case KeyValues::TYPE_STRING:
            out += '=' + std::string(p->GetStringPtr());
            break;
        case KeyValues::TYPE_INT:
            out += ':' + std::to_string(p->GetIntRaw());
            break;
        default:
            out += "?";
            break;
        }
    }
    return out;
}

struct ParseResult
{
    bool ok;
    std::string shape;
    std::string out;   // standard output: the first error as a warning
    std::string debug; // assertion lines
};

ParseResult Parse(const std::string& text, const char* pszResource = "test.kvt")
{
    CUtlBuffer buf(0, 0, CUtlBuffer::TEXT_BUFFER);
    buf.Put(text.data(), (int)text.size());
    KeyValues* root = new KeyValues("kvtext_unnamed");
    ParseResult r;
    CAssertCapture debug;
    {
        CKvStdoutCapture out;
        r.ok = root->LoadFromBuffer(pszResource, buf);
        r.out = out.Take();
    }
    // The assertion at the end of a failed parse also reaches standard output;
    // keep only the warning text before it.
    size_t pos = r.out.find("KeyValues (");
    if (pos != std::string::npos && (pos == 0 || r.out[pos - 1] == '\n')) r.out.erase(pos);
    // Assertion lines, with "(n)" for their source line numbers.
    r.debug = std::regex_replace(debug.Output(), std::regex("\\([0-9]+\\)"), "(n)");
    r.shape = Shape(root);
    KeyValues::DeleteTree(root);
    return r;
}

std::string ErrorLine(const char* pszMessage, int nOffset, const char* pszTrail = "")
{
    return std::string("KeyValues Error: ") + pszMessage +
           " in file test.kvt [offset: " + std::to_string(nOffset) + "]\n" + pszTrail + "\n";
}

std::string Repeat(const char* pszText, int nTimes)
{
    std::string out;
    while (nTimes-- > 0)
        out += pszText;
    return out;
}

const char kTooDeep[] =
    "RecursiveLoadFromBuffer:  blocks nested deeper than 256 levels, block skipped";

std::string Save(const KeyValues* p, int nFlags = 0)
{
    CUtlBuffer buf(0, 0, CUtlBuffer::TEXT_BUFFER);
    p->RecursiveSaveToFile(buf, 0, nFlags);
    return std::string(buf.Base() ? buf.Base() : "", buf.TellPut());
}
} // namespace

TEST(KeyValuesText, BlocksWithAndWithoutQuotes)
{
    for (const char* text : {"a { b 1 c x }", "\"a\" { \"b\" \"1\" \"c\" \"x\" }", "a{b 1 c x}",
                             "a\n{\n\tb\t1 // comment\n\tc x\n}\n"})
    {
        ParseResult r = Parse(text);
        EXPECT_TRUE(r.ok) << text << "\n" << r.out;
        EXPECT_EQ("a{b:1 c=x}", r.shape) << text;
        EXPECT_EQ("", r.out);
    }
}

TEST(KeyValuesText, TopLevelPeersAndConditions)
{
    EXPECT_EQ("a{} b{x:1} c{}", Parse("a { } b { x 1 } c { }").shape);
    // A dropped key's node is reused by the next key, also the first one.
    EXPECT_EQ("b{}", Parse("a [$LINUX] { x 1 } b { }").shape);
    EXPECT_EQ("a{} c{}", Parse("a { } b [$LINUX] { y 2 } c { }").shape);
    EXPECT_EQ("a{}", Parse("a { } b [$LINUX] { y 2 }").shape);
    EXPECT_EQ("a{} b{}", Parse("a { } b [$WIN32] { }").shape);
    // Directives are ordinary names.
    EXPECT_EQ("#base{}", Parse("#base { }").shape);
}

TEST(KeyValuesText, ConditionsInsideBlocks)
{
    EXPECT_EQ("b{k=v}", Parse("b { k v [$WIN32] }").shape);
    EXPECT_EQ("b{}", Parse("b { k v [$LINUX] }").shape);
    EXPECT_EQ("b{k=y}", Parse("b { k x k y [$WINDOWS] }").shape);
    EXPECT_EQ("b{k=x}", Parse("b { k x k = [$WIN64] y }").shape);
    EXPECT_EQ("b{k=v}", Parse("b { k = v }").shape);
    EXPECT_EQ("b{Zq=y}", Parse("b { Zq x zQ = y }").shape); // "=" replaces, across case
    EXPECT_EQ("b{k=x k=y}", Parse("b { k x k y }").shape);
    EXPECT_EQ("b{k=v}", Parse("b { k [$WIN32] v }").shape);
    EXPECT_EQ("b{}", Parse("b { k [$X360] v }").shape);
    EXPECT_EQ("b{x:2}", Parse("b { blk [!$WIN32] { x 1 } x 2 }").shape);
    // No condition is looked for after a block: the bracket is the next key.
    ParseResult r = Parse("b { blk { } [$WIN32] }");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ("b{blk{} [$WIN32]{}}", r.shape);
    // The trail shows the current key and, in (* *), the block that ended.
    EXPECT_EQ(ErrorLine("RecursiveLoadFromBuffer:  got } in key", 22, "b, [$WIN32], (*blk*), "),
              r.out);
}

TEST(KeyValuesText, ByteOrderMarkAndComments)
{
    ParseResult r = Parse("\xEF\xBB\xBF// only a comment");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ("kvtext_unnamed{}", r.shape); // no key
    EXPECT_EQ("", r.out);
    EXPECT_EQ("a{b:1}", Parse("\xEF\xBB\xBF"
                              "a{b 1}")
                            .shape);
    // A lone '/' is text and comments are not seen inside bare tokens.
    EXPECT_EQ("a{p=x/y q=r//s}", Parse("a { p x/y q r//s }").shape);
    EXPECT_TRUE(Parse("").ok);
}

TEST(KeyValuesText, ValueTyping)
{
    ParseResult r = Parse("v { a 0 b -0 c 00 d 1e5 e 2147483648 f -2147483648 g \"+7\" "
                          "h \" 5\" i \"5 \" j 1.5 k 1,000 l 007 m - }");
    EXPECT_TRUE(r.ok) << r.out;
    EXPECT_EQ("v{a:0 b:0 c=00 d=1e5 e=2147483648 f:-2147483648 g:7 h:5 i=5  j=1.5 k=1,000 "
              "l=007 m=-}",
              r.shape);

    // The ends of the 32-bit range, and one past each.
    r = Parse("v { a 2147483647 b -2147483649 c +2147483648 d 21474836470 }");
    EXPECT_EQ("v{a:2147483647 b=-2147483649 c=+2147483648 d=21474836470}", r.shape);
}

TEST(KeyValuesText, QuotedTokens)
{
    // No escapes; line breaks are part of the text; 0x7F ends the text.
    ParseResult r = Parse("a { \"x\\\" \"line\nbreak\" \"s{}=\" \"a\x7F"
                          "b\" }");
    EXPECT_EQ("a{x\\=line\nbreak s{}==a}", r.shape);
    // An unterminated quote takes the rest of the text.
    r = Parse("a { k \"open");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ("a{k=open}", r.shape);
    // Quoted braces are values, not structure; an empty quoted key is an error.
    EXPECT_EQ("a{k={}", Parse("a { k \"{\" }").shape);
    r = Parse("a { \"\" 1 }");
    EXPECT_EQ(ErrorLine("RecursiveLoadFromBuffer:  got empty keyname", 6, "a, "), r.out);
}

TEST(KeyValuesText, ReadsOnlyTheBufferMemory)
{
    // The readable size runs past the memory after a seek of the put
    // position: the text ends where the memory does.
    const std::string text = "a { b c }";
    std::vector<char> external(text.begin(), text.end());
    CUtlBuffer outside(external.data(), (int)external.size(), CUtlBuffer::TEXT_BUFFER);
    CUtlBuffer binary(0, 0, 0);
    std::string padded = text + std::string(32 - text.size(), ' ');
    binary.Put(padded.data(), (int)padded.size());
    ASSERT_EQ(32, binary.Size());

    CAssertCapture capture; // the binary buffer is reported, not refused
    CKvStdoutCapture out;
    for (CUtlBuffer* buf : {&outside, &binary})
    {
        ASSERT_TRUE(buf->SeekPut(CUtlBuffer::SEEK_HEAD, 4096));
        ASSERT_EQ(4096, buf->TellMaxPut());
        KeyValues* root = new KeyValues("root");
        EXPECT_TRUE(root->LoadFromBuffer("mem.kvt", *buf));
        EXPECT_EQ("a{b=c}", Shape(root));
        EXPECT_EQ(buf->Size(), buf->TellGet());
        KeyValues::DeleteTree(root);
    }
}

TEST(KeyValuesText, ErrorMessagesAndOffsets)
{
    ParseResult r = Parse("a = { }");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(ErrorLine("LoadFromBuffer: missing {   (current key: 'a')", 3), r.out);
    EXPECT_EQ("KeyValues (n) : Error while parsing text KeyValues for resource test.kvt\n",
              r.debug);

    r = Parse("a { b }");
    EXPECT_EQ(ErrorLine("RecursiveLoadFromBuffer:  got } in key", 7, "a, "), r.out);
    EXPECT_EQ("a{b{}}", r.shape); // the new child keeps no value

    r = Parse("a { b 1");
    EXPECT_EQ(ErrorLine("RecursiveLoadFromBuffer:  got EOF instead of keyname", 7, "a, "), r.out);
    EXPECT_EQ("a{b:1}", r.shape);

    r = Parse("a { b [$WIN32]");
    EXPECT_EQ(ErrorLine("RecursiveLoadFromBuffer:  got NULL key", 14, "a, "), r.out);
    r = Parse("a { b = ");
    EXPECT_EQ(ErrorLine("RecursiveLoadFromBuffer:  got NULL key", 8, "a, "), r.out);
    r = Parse("a { b [$WIN32] [$LINUX] }");
    EXPECT_EQ(
        ErrorLine("RecursiveLoadFromBuffer:  got conditional between key and value", 23, "a, "),
        r.out);

    r = Parse("a { } #include");
    EXPECT_EQ(ErrorLine("#include is NULL ", 14, "(*a*), "), r.out);
    r = Parse("#INCLUDE \"other.kvt\" a { }", "res.kvt");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ("a{}", r.shape);
    EXPECT_EQ("KeyValues (n) : KeyValues don't support #include anymore, file \"res.kvt\"\n",
              r.debug);

    // A plain value at the top level is consumed with the error.
    r = Parse("a b c { }");
    EXPECT_EQ("a{} c{}", r.shape);
}

TEST(KeyValuesText, ErrorTrailNamesTheEnclosingKeys)
{
    // Slot 0 is the block "a", slot 2 the block "b"; the current-key slots
    // and the deepest slot in use are not printed.
    ParseResult r = Parse("a { b { c } }");
    EXPECT_EQ(ErrorLine("RecursiveLoadFromBuffer:  got } in key", 11, "a, b, "), r.out);
    // A deeper level that has already ended is shown in (* *).
    r = Parse("a { b { c 1 } d }");
    EXPECT_EQ(ErrorLine("RecursiveLoadFromBuffer:  got } in key", 17, "a, d, (*b*), "), r.out);
    // Parsing goes on after an error; only the first one is printed.
    r = Parse("a { b } c { d }");
    EXPECT_EQ("a{b{}} c{d{}}", r.shape);
    EXPECT_EQ(ErrorLine("RecursiveLoadFromBuffer:  got } in key", 7, "a, "), r.out);
}

TEST(KeyValuesText, ErrorTrailKeepsTheFirst64Slots)
{
    // Two slots per block: 32 blocks fill the 64 slots exactly; the 33rd
    // block's name is counted but neither stored nor printed.
    for (int nBlocks : {32, 33})
    {
        std::string text, trail;
        for (int i = 1; i <= nBlocks; ++i)
        {
            text += "b" + std::to_string(i) + " { ";
            if (i <= 32) trail += "b" + std::to_string(i) + ", ";
        }
        text += "c }";
        int nOffset = (int)text.size();
        for (int i = 1; i < nBlocks; ++i)
            text += " }";
        ParseResult r = Parse(text);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(ErrorLine("RecursiveLoadFromBuffer:  got } in key", nOffset, trail.c_str()),
                  r.out)
            << nBlocks;
    }
}

TEST(KeyValuesText, OverlongTokens)
{
    const int kMax = 0x40000 - 1;
    std::string bare(kMax + 10, 'q');
    ParseResult r = Parse("a { k " + bare + " }");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(ErrorLine(" ReadToken overflow", 6 + kMax, "a, "), r.out);
    // The longest token that fits, and one character more.
    r = Parse("a { k " + std::string(kMax, 'q') + " }");
    EXPECT_TRUE(r.ok) << r.out.substr(0, 200);
    EXPECT_EQ("a{k=" + std::string(kMax, 'q') + "}", r.shape);
    r = Parse("a { k " + std::string(kMax + 1, 'q') + " }");
    EXPECT_EQ(ErrorLine(" ReadToken overflow", 6 + kMax, "a, "), r.out);
    EXPECT_EQ("a{k=" + std::string(kMax, 'q') + "}", r.shape);

    std::string quoted(kMax + 10, 'w');
    CUtlBuffer buf(0, 0, CUtlBuffer::TEXT_BUFFER);
    std::string text = "a { k \"" + quoted + "\" }";
    buf.Put(text.data(), (int)text.size());
    KeyValues* root = new KeyValues("root");
    EXPECT_TRUE(root->LoadFromBuffer("q", buf)); // cut silently
    EXPECT_EQ((size_t)kMax, strlen(KeyValues::StringValue(root->LookupKey("k"))));
    KeyValues::DeleteTree(root);
}

TEST(KeyValuesText, DeepNestingStopsWithAnError)
{
    std::string text = "top { keep 1 ";
    for (int i = 0; i < 300; ++i)
        text += "n { ";
    text += "leaf 1 ";
    for (int i = 0; i < 300; ++i)
        text += "} ";
    text += "after 2 }";
    ParseResult r = Parse(text);
    EXPECT_FALSE(r.ok);
    // Reported on entering the 257th level, after the 256th "n {"; the trail
    // holds the first 64 slots: "top" and 31 "n".
    EXPECT_EQ(ErrorLine(kTooDeep, 13 + 256 * 4 - 1, ("top, " + Repeat("n, ", 31)).c_str()), r.out);
    // The tree keeps everything outside the skipped block; parsing goes on
    // after it.
    EXPECT_EQ("top{keep:1 " + Repeat("n{", 256) + Repeat("}", 256) + " after:2}", r.shape);
}

TEST(KeyValuesText, NestingLimitIsExactly256Blocks)
{
    // The top-level block counts as the first level.
    auto nested = [](int nLevels)
    {
        std::string text = "top { ";
        for (int i = 1; i < nLevels; ++i)
            text += "n { ";
        text += "leaf 1 ";
        for (int i = 0; i < nLevels; ++i)
            text += "} ";
        return text;
    };
    ParseResult ok = Parse(nested(256));
    EXPECT_TRUE(ok.ok) << ok.out.substr(0, 200);
    EXPECT_EQ("", ok.out.substr(0, 200));
    EXPECT_EQ("top{" + Repeat("n{", 255) + "leaf:1" + Repeat("}", 256), ok.shape);

    ParseResult deep = Parse(nested(257));
    EXPECT_FALSE(deep.ok);
    EXPECT_EQ(ErrorLine(kTooDeep, 6 + 256 * 4 - 1, ("top, " + Repeat("n, ", 31)).c_str()),
              deep.out);
    // The 257th level stays, empty.
    EXPECT_EQ("top{" + Repeat("n{", 256) + Repeat("}", 257), deep.shape);
}

TEST(KeyValuesText, CaseOnlyDifferencesAreDuplicates)
{
    ParseResult r = Parse("a { Name 1 NAME = 2 other 3 }");
    EXPECT_EQ("a{Name:2 other:3}", r.shape); // the first written form names the symbol
}

TEST(KeyValuesText, ExpressionEvaluation)
{
    EXPECT_TRUE(EvaluateExpression("$WIN32]"));
    EXPECT_TRUE(EvaluateExpression("$windows]"));
    EXPECT_FALSE(EvaluateExpression("$WIN64]"));
    EXPECT_FALSE(EvaluateExpression("!$WIN32]"));
    EXPECT_FALSE(EvaluateExpression("!!$WIN32]"));
    EXPECT_TRUE(EvaluateExpression("$LINUX || $WIN32]"));
    // Strictly left to right: (true || x) && false.
    EXPECT_FALSE(EvaluateExpression("$WIN32 || $LINUX && $X360]"));
    EXPECT_TRUE(EvaluateExpression("$WIN32 || ($LINUX && $X360)]"));
    EXPECT_TRUE(EvaluateExpression("( $WIN32 ]"));
    EXPECT_TRUE(EvaluateExpression("12]"));
    EXPECT_FALSE(EvaluateExpression("000]"));
    EXPECT_FALSE(EvaluateExpression("$0]"));
    EXPECT_TRUE(EvaluateExpression("$1]"));
    EXPECT_FALSE(EvaluateExpression("$UNKNOWN_THING]"));
    EXPECT_EQ(GetHostVersionCode() > 8, EvaluateExpression("$VISTA]"));
    EXPECT_EQ(GetHostVersionCode() > 9, EvaluateExpression("$WIN7]"));
#ifndef _WIN32
    EXPECT_EQ(16, GetHostVersionCode()); // the stand-in reports a current version
#endif

    CKvStdoutCapture out;
    EXPECT_FALSE(EvaluateExpression("WIN32]"));
    EXPECT_FALSE(EvaluateExpression("]"));
    // An operator's second character must carry all bits of the first.
    EXPECT_TRUE(EvaluateExpression("$WIN32 &x $LINUX]"));
    EXPECT_FALSE(EvaluateExpression("$LINUX | $WIN32]")); // ' ' lacks the bits of '|'
    EXPECT_TRUE(EvaluateExpression("$LINUX |~$WIN32]"));
    EXPECT_FALSE(EvaluateExpression("$WIN32 &f $LINUX]"));
    std::string deep(300, '(');
    EXPECT_FALSE(EvaluateExpression((deep + "1]").c_str()));
    // 256 levels of parentheses are evaluated, 257 are refused.
    EXPECT_TRUE(EvaluateExpression((std::string(256, '(') + "1]").c_str()));
    EXPECT_FALSE(EvaluateExpression((std::string(257, '(') + "1]").c_str()));
    std::string text = out.Take();
    EXPECT_EQ("Bad expression token: WBad expression token: ]Bad expression token: & x"
              "Bad expression token: |  Bad expression: nested deeper than 256 levels"
              "Bad expression: nested deeper than 256 levels",
              text);
}

TEST(KeyValuesText, WriterOutput)
{
    KeyValues* root = new KeyValues("Root \"Q\"");
    KeyValues* s = root->AddChild("Str");
    KeyValues::AssignString(s, "say \"hi\"");
    root->AddChild("i")->SetInt(7);
    root->AddChild("neg")->SetInt(-12);
    root->AddChild("f0")->SetFloat(0.0f);
    root->AddChild("fneg0")->SetFloat(-0.0f);
    root->AddChild("f1")->SetFloat(1.0f);
    root->AddChild("f")->SetFloat(0.5f);
    root->AddChild("u")->SetUint64(0xFFFFFFFFFFFFFFFFull);
    root->AddChild("l")->SetInt64(-2);
    root->AddChild("w")->SetWString(u"\u00e9");
    const unsigned char bytes[] = {0x00, 0xAB, 0x7f};
    root->AddChild("b")->SetBlob(bytes, 3);
    root->AddChild("p")->SetPtr(root);
    root->AddChild("c")->SetColor(1, 2, 3, 4);
    root->AddChild("Sub")->AddChild("Inner")->SetInt(1);

    CKvStdoutCapture out;
    std::string text = Save(root);
    EXPECT_EQ("KeyValues::RecursiveSaveToFile: TODO, missing code for TYPE_COLOR.\n", out.Take());
    EXPECT_EQ("\"Root \\\"Q\\\"\"\n"
              "{\n"
              "\t\"Str\"\t\t\"say \\\"hi\\\"\"\n"
              "\t\"i\"\t\t\"7\"\n"
              "\t\"neg\"\t\t\"-12\"\n"
              "\t\"f0\"\t\t\"0\"\n"
              "\t\"fneg0\"\t\t\"-0\"\n"
              "\t\"f1\"\t\t\"1\"\n"
              "\t\"f\"\t\t\"0.5\"\n"
              "\t\"u\"\t\t\"-1\"\n"
              "\t\"l\"\t\t\"-2\"\n"
              "\t\"w\"\t\t\"\xc3\xa9\"\n"
              "\t\"b\"\t\t\"00ab7f\"\n"
              "\t\"Sub\"\n"
              "\t{\n"
              "\t\t\"Inner\"\t\t\"1\"\n"
              "\t}\n"
              "}\n",
              text);

    // Flags: bit 0 lower-cases names (not values), bit 1 writes uint64 unsigned.
    KeyValues* small = new KeyValues("MiXed");
    KeyValues::AssignString(small->AddChild("KEY"), "VALUE");
    small->AddChild("U")->SetUint64(0xFFFFFFFFFFFFFFFFull);
    EXPECT_EQ("\"mixed\"\n{\n\t\"key\"\t\t\"VALUE\"\n\t\"u\"\t\t\"18446744073709551615\"\n}\n",
              Save(small, 3));
    KeyValues::DeleteTree(small);
    KeyValues::DeleteTree(root);
}

TEST(KeyValuesText, SaveLoadRoundTrip)
{
    const char* text =
        "game\n{\n\tmount\n\t{\n\t\tpath\t\"c:\\bnds\\one\"\n\t\tpath\t\"two\"\n\t}\n"
        "\tspewfileio\t1\n\ttitle\t\"A long name with spaces\"\n\tempty\t\"\"\n"
        "\tnested { deeper { deepest -42 } }\n}\n";
    ParseResult first = Parse(text);
    ASSERT_TRUE(first.ok) << first.out;

    CUtlBuffer buf(0, 0, CUtlBuffer::TEXT_BUFFER);
    buf.Put(text, (int)strlen(text));
    KeyValues* root = new KeyValues("x");
    ASSERT_TRUE(root->LoadFromBuffer("t", buf));
    std::string saved = Save(root);
    KeyValues::DeleteTree(root);

    ParseResult second = Parse(saved);
    EXPECT_TRUE(second.ok) << second.out;
    EXPECT_EQ(first.shape, second.shape);
    EXPECT_EQ("game{mount{path=c:\\bnds\\one path=two} spewfileio:1 title=A long name with spaces "
              "empty= nested{deeper{deepest:-42}}}",
              second.shape);
}

TEST(KeyValuesText, WriterReportsWhatDoesNotReadBack)
{
    // The text has no escapes: a double quote or 0x7F in a name or string,
    // invalid UTF-16 and values without a text form cannot come back.
    struct Case
    {
        const char* pszWhat;
        void (*pfnSet)(KeyValues* pRoot);
        bool bReadsBack;
        const char* pszShape; // of the text read back, when it does
    };
    const Case cases[] = {
        {"plain", [](KeyValues* r) { KeyValues::AssignString(r->AddChild("k"), "a b\\c"); }, true,
         "saved{k=a b\\c}"},
        {"number", [](KeyValues* r) { r->AddChild("n")->SetInt(-12); }, true, "saved{n:-12}"},
        {"wide", [](KeyValues* r) { r->AddChild("w")->SetWString(u"\u00e9"); }, true,
         "saved{w=\xc3\xa9}"},
        {"block", [](KeyValues* r) { r->AddChild("b")->AddChild("in")->SetInt(1); }, true,
         "saved{b{in:1}}"},
        {"quoted value",
         [](KeyValues* r) { KeyValues::AssignString(r->AddChild("k"), "say \"hi\""); }, false,
         nullptr},
        {"quoted name", [](KeyValues* r) { r->AddChild("k\"")->SetInt(1); }, false, nullptr},
        {"quote deeper",
         [](KeyValues* r) { KeyValues::AssignString(r->AddChild("b")->AddChild("k"), "\""); },
         false, nullptr},
        {"0x7F",
         [](KeyValues* r)
         {
             KeyValues::AssignString(r->AddChild("k"), "a\x7F"
                                                       "b");
         },
         false, nullptr},
        {"bad UTF-16", [](KeyValues* r) { r->AddChild("w")->SetWString(u"a\xD800"); }, false,
         nullptr},
        {"pointer", [](KeyValues* r) { r->AddChild("p")->SetPtr(r); }, false, nullptr},
        {"colour", [](KeyValues* r) { r->AddChild("c")->SetColor(1, 2, 3, 4); }, false, nullptr},
    };
    for (const Case& c : cases)
    {
        KeyValues* root = new KeyValues("saved");
        c.pfnSet(root);
        CUtlBuffer buf(0, 0, CUtlBuffer::TEXT_BUFFER);
        CKvStdoutCapture out;
        EXPECT_EQ(c.bReadsBack, root->RecursiveSaveToFile(buf, 0)) << c.pszWhat;
        out.Take();
        KeyValues::DeleteTree(root);
        if (!c.bReadsBack) continue;
        ParseResult r = Parse(std::string(buf.Base(), buf.TellPut()));
        EXPECT_TRUE(r.ok) << c.pszWhat;
        EXPECT_EQ(c.pszShape, r.shape) << c.pszWhat;
    }
}

TEST(KeyValuesText, DebugDumpWritesToTheDebuggerOutput)
{
    KeyValues* root = new KeyValues("dump");
    root->AddChild("k")->SetInt(3);
    CAssertCapture capture;
    (root->*g_pfnKeyValuesDebugDump)();
    EXPECT_EQ("\"dump\"\n{\n\t\"k\"\t\t\"3\"\n}\n", capture.Output());
    KeyValues::DeleteTree(root);
}

TEST(KeyValuesText, LoadFromFile)
{
    KeyValues* root = new KeyValues("bnd");
    CKvStdoutCapture out;
    EXPECT_FALSE(root->LoadFromFile("no_such_dir_kv/quern_bnds.kvt"));
    EXPECT_FALSE(root->LoadFromFile(nullptr));
    out.Take();

    std::string path = testing::TempDir() + "kv_loadfromfile.kvt";
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    fputs("cfg\r\n{\r\n\tmount { a \"p1\" b \"p2\" }\r\n\tspewfileio true\r\n}\r\n", f);
    fclose(f);
    ASSERT_TRUE(root->LoadFromFile(path.c_str()));
    EXPECT_TRUE(KeyValues::BoolValue(root->LookupKey("spewfileio")));
    KeyValues* mount = root->LookupKey("mount");
    ASSERT_NE(nullptr, mount);
    EXPECT_STREQ("p1", KeyValues::StringValue(mount->FirstValueChild()));
    EXPECT_STREQ("p2", KeyValues::StringValue(mount->FirstValueChild()->NextValuePeer()));
    KeyValues::DeleteTree(root);
    remove(path.c_str());
}
