// What the user's actions do: typing, building, copying and saving.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "core/ImeiList.h"
#include "tests/common/KnownLists.h"
#include "tests/ui/UiHarness.h"
#include "ui/MemoSink.h"
#include "ui/WinText.h"

namespace kestrino::test {
namespace {

const std::wstring kInitialList = AnsiToWide(known::kInitialList);

// A message of the number core as the error box shows it.
std::wstring Shown(const std::string& message) { return AnsiToWide(message + "."); }

// The list as a plain sink collects it, each line followed by CR LF.
std::wstring ListOf(const std::string& first, std::int32_t quantity) {
    struct Collect final : ProgressSink {
        std::wstring text;
        void AddLine(std::string_view line) override { text += AnsiToWide(line) + L"\r\n"; }
        void LinesDone(std::int32_t) override {}
    } sink;
    BuildImeiList(first, quantity, sink);
    return sink.text;
}

class BehaviourTest : public FormTest {
public:
    HWND first() const { return form->edtFirstIMEI.Handle(); }
    HWND qty() const { return form->seQty.Handle(); }
    std::wstring memo() const { return Text(form->mmoResult.Handle()); }

    // Presses Builder and returns the message of the error box, if one came up.
    std::wstring Build() {
        std::wstring said;
        DialogWatcher watcher([&](HWND box) {
            said = DialogWatcher::MessageText(box);
            DialogWatcher::Answer(box, IDOK);
        });
        Click(form->Button1);
        Pump();
        return said;
    }
};

TEST_F(BehaviourTest, BuilderTouchesNeitherTheLastBodyNorTheLengthNorPanelZero) {
    EXPECT_EQ(Build(), L"");
    EXPECT_EQ(WideToAnsi(memo()).size(), known::ListSize(known::kQuantity));
    EXPECT_EQ(Text(form->edtLastIMEI.Handle()), L"");
    EXPECT_EQ(Text(form->lblIMEI14Len.Handle()), L"");
    EXPECT_EQ(PanelText(*form, 0), L"");
}

TEST_F(BehaviourTest, TypingIntoTheFirstBodyKeepsItAnInteger) {
    struct Row {
        const char* what;
        std::wstring start;
        int caret;  // -1: replace the whole text by pasting `input`
        std::wstring input;
        std::wstring text;
        std::wstring length;
        std::wstring last;
    };
    const Row rows[] = {
        {"one more digit", L"35851102000002", 14, L"1", L"358511020000021", L"15", L"358511020000030"},
        {"a letter after 358", L"35851102000002", 3, L"a", L"358", L"3", L"367"},
        {"a letter in front", L"35851102000002", 0, L"a", L"0", L"1", L"9"},
        {"pasted letters", L"35851102000002", -1, L"abc", L"0", L"1", L"9"},
        {"pasted hexadecimal", L"35851102000002", -1, L"x1F", L"x1F", L"3", L"40"},
        {"leading zeros", L"35851102000002", -1, L"00000000000001", L"00000000000001", L"14", L"00000000000010"},
        {"a negative body", L"35851102000002", -1, L"-1", L"-1", L"2", L"8"},
        {"a nineteenth 9", L"999999999999999999", 18, L"9", L"999999999999999999", L"18", L"1000000000000000008"},
        {"past the largest value", L"0", -1, L"9223372036854775808", L"-9223372036854775808", L"20",
         L"-9223372036854775799"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        PasteOver(first(), row.start);
        if (row.caret < 0) {
            PasteOver(first(), row.input);
        } else {
            CaretAt(first(), row.caret);
            Type(first(), row.input);
        }
        EXPECT_EQ(Text(first()), row.text);
        EXPECT_EQ(Text(form->lblIMEI14Len.Handle()), row.length);
        EXPECT_EQ(Text(form->edtLastIMEI.Handle()), row.last);
    }
}

TEST_F(BehaviourTest, DeletingTheFirstBodyLeavesZeroSelected) {
    SetFocus(first());
    SendMessageW(first(), EM_SETSEL, 0, -1);
    Key(first(), VK_DELETE);
    EXPECT_EQ(Text(first()), L"0");
    EXPECT_EQ(Selection(first()), std::make_pair(DWORD{0}, DWORD{1}));
    EXPECT_EQ(Text(form->lblIMEI14Len.Handle()), L"1");
    EXPECT_EQ(Text(form->edtLastIMEI.Handle()), L"9");
}

// Typing goes on where the user left off after the field rewrote itself.
TEST_F(BehaviourTest, TypingContinuesAfterARewrite) {
    struct Row {
        const char* what;
        bool quantityField;
        std::wstring start;
        std::function<void(HWND)> keys;
        std::wstring text;
    };
    const Row rows[] = {
        {"Backspace to empty, then 500", true, L"10",
         [](HWND edit) {
             Key(edit, VK_END);
             Key(edit, VK_BACK);
             Key(edit, VK_BACK);
             Type(edit, L"500");
         },
         L"500"},
        {"select all, Delete, then fourteen digits", false, L"35851102000002",
         [](HWND edit) {
             SendMessageW(edit, EM_SETSEL, 0, -1);
             Key(edit, VK_DELETE);
             Type(edit, L"01326300876543");
         },
         L"01326300876543"},
        {"a letter after 358, then a digit", false, L"35851102000002",
         [](HWND edit) {
             SendMessageW(edit, EM_SETSEL, 3, 3);
             Type(edit, L"a");
             Type(edit, L"7");
         },
         L"3587"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const HWND edit = row.quantityField ? qty() : first();
        PasteOver(edit, row.start);
        SetFocus(edit);
        row.keys(edit);
        EXPECT_EQ(Text(edit), row.text);
    }
    EXPECT_EQ(PanelText(*form, 0), L"500");
}

TEST_F(BehaviourTest, QuantityShowsInPanelZeroAndReadsZeroWhenNotANumber) {
    SetFocus(qty());
    SendMessageW(qty(), EM_SETSEL, 0, -1);
    Key(qty(), VK_DELETE);
    EXPECT_EQ(Text(qty()), L"0");
    EXPECT_EQ(PanelText(*form, 0), L"0");
    EXPECT_EQ(Text(form->edtLastIMEI.Handle()), L"35851102000001");

    SendMessageW(qty(), EM_SETSEL, 0, -1);
    Type(qty(), L"-");
    EXPECT_EQ(Text(qty()), L"-");
    EXPECT_EQ(PanelText(*form, 0), L"0");

    // Quantity 1: the last body is the first.
    PasteOver(qty(), L"1");
    EXPECT_EQ(PanelText(*form, 0), L"1");
    EXPECT_EQ(Text(form->edtLastIMEI.Handle()), L"35851102000002");
}

// Builder on the fields' values, one press a row, in order on one window: each
// row sees the panel that the rows before it left.
TEST_F(BehaviourTest, BuilderWritesTheListOfTheFields) {
    struct Row {
        const char* what;
        const wchar_t* first;     // pasted over the field; null: untouched
        const wchar_t* quantity;  // likewise
        std::wstring list;
        std::wstring box;  // the error box's text, "" for none
        std::wstring lines;  // panel 3 afterwards
        std::wstring last;   // the Last IMEI14 field
    };
    const Row rows[] = {
        {"the initial values", nullptr, nullptr, kInitialList, L"", L"Lines = 10", L""},
        {"a negative quantity keeps panel 3", nullptr, L"-5", L"IMEI\r\n", L"", L"Lines = 10", L"35851101999996"},
        {"leading zeros keep their width", L"01326300876543", L"3",
         L"IMEI\r\n013263008765439\r\n013263008765447\r\n013263008765454\r\n", L"", L"Lines = 3",
         L"01326300876545"},
        {"a body that wraps negative", L"9223372036854775807", L"2", L"IMEI\r\n92233720368547758075\r\n",
         Shown(known::kDash), L"Lines = 1", L"-9223372036854775808"},
        {"a short body", L"9999999999999", nullptr, L"IMEI\r\n",
         Shown(known::ShortBody("9999999999999")), L"Lines = 1", L"10000000000000"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.first) PasteOver(first(), row.first);
        if (row.quantity) PasteOver(qty(), row.quantity);
        EXPECT_EQ(Build(), row.box);
        EXPECT_EQ(memo(), row.list);
        EXPECT_EQ(PanelText(*form, 3), row.lines);
        EXPECT_EQ(Text(form->edtLastIMEI.Handle()), row.last);
    }
}

TEST_F(BehaviourTest, BuilderReplacesWhatTheUserTypedIntoTheResult) {
    SetWindowTextW(form->mmoResult.Handle(), L"my notes");
    Build();
    EXPECT_EQ(memo(), kInitialList);
}

// A batch gives byte for byte what appending its lines one by one gives.
TEST_F(BehaviourTest, BatchedLinesEqualLineByLineAppends) {
    const auto oneByOne = [](std::wstring text, const std::vector<std::wstring>& lines) {
        for (const auto& line : lines) {
            const bool afterBreak = text.empty() || text.back() == L'\n';
            text += afterBreak ? line + L"\r\n" : L"\r\n" + line;
        }
        return text;
    };
    const std::vector<std::wstring> lines = {L"IMEI", L"358511020000026", L"358511020000034"};
    for (const std::wstring start : {L"", L"edited\r\n", L"edited", L"two\r\nlines"}) {
        SCOPED_TRACE(WideToAnsi(start));
        SetWindowTextW(form->mmoResult.Handle(), start.c_str());
        TMemoSink sink(form->mmoResult, [](std::int32_t) {});
        for (const auto& line : lines) sink.AddLine(WideToAnsi(line));
        sink.LinesDone(2);
        sink.Flush();
        EXPECT_EQ(memo(), oneByOne(start, lines));
    }
}

TEST_F(BehaviourTest, CopyPutsTheListOnTheClipboardAndSelectsAll) {
    SetClipboardText(L"kept");
    MenuCommand(form->CopytoClipboard1);
    EXPECT_EQ(ClipboardText(), L"kept") << "an empty memo copies nothing";

    Build();
    MenuCommand(form->CopytoClipboard1);
    EXPECT_EQ(ClipboardText(), kInitialList);
    EXPECT_EQ(Selection(form->mmoResult.Handle()), std::make_pair(DWORD{0}, static_cast<DWORD>(kInitialList.size())));
}

TEST_F(BehaviourTest, SaveWritesTheTextAndReplacesTheFileWithoutAsking) {
    const std::wstring folder = TempFolder();
    const std::wstring path = folder + L"\\list.txt";
    DeleteFileW(path.c_str());

    Build();
    EXPECT_EQ(SaveAs(path), L"");
    EXPECT_EQ(ReadFileBytes(path), WideToAnsi(kInitialList));
    EXPECT_EQ(form->dlgSave.fileName, path);

    PasteOver(qty(), L"1");
    Build();
    EXPECT_EQ(SaveAs(path), L"");
    EXPECT_EQ(ReadFileBytes(path), "IMEI\r\n358511020000026\r\n");

    SetWindowTextW(form->mmoResult.Handle(), L"");
    EXPECT_EQ(SaveAs(path), L"");
    EXPECT_EQ(ReadFileBytes(path), "");
    EXPECT_EQ(FilesIn(folder), 1) << "no temporary file is left behind";
    DeleteFileW(path.c_str());
}

TEST_F(BehaviourTest, AFailedSaveNamesTheFileAndKeepsTheOldOne) {
    const std::wstring folder = TempFolder();
    const std::wstring path = folder + L"\\old.txt";
    WriteFileBytes(path, "old content\r\n");
    Build();

    // A folder that does not exist.
    const std::wstring missing = folder + L"\\no such folder\\list.txt";
    const std::wstring said = SaveAs(missing);
    EXPECT_EQ(said.rfind(L"Cannot create file \"" + missing + L"\". ", 0), 0u) << WideToAnsi(said);
    EXPECT_EQ(said.back(), L'.');
    EXPECT_GT(said.size(), 24 + missing.size());

    // A file another program holds open without sharing.
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const std::wstring busy = SaveAs(path);
    CloseHandle(held);
    EXPECT_EQ(busy.rfind(L"Cannot create file \"" + path + L"\". ", 0), 0u) << WideToAnsi(busy);
    EXPECT_EQ(ReadFileBytes(path), "old content\r\n");

    // A full disk: the write fails part-way.
    form->saveCalls.writeFile = [](HANDLE, LPCVOID, DWORD want, LPDWORD got, LPOVERLAPPED) -> BOOL {
        *got = want / 2;
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    };
    EXPECT_EQ(SaveAs(path), L"Stream write error.");
    EXPECT_EQ(ReadFileBytes(path), "old content\r\n");
    EXPECT_EQ(FilesIn(folder), 1) << "no temporary file is left behind";
    EXPECT_EQ(memo(), kInitialList);
    DeleteFileW(path.c_str());
}

// A real full disk: a small file system the test run mounts (see
// scripts/with-small-disk.sh), filled up before the save.
TEST_F(BehaviourTest, SavingOntoAFullDiskKeepsTheOldFile) {
    const char* mount = std::getenv("KESTRINO_SMALL_DISK");
    if (!mount || !*mount) GTEST_SKIP() << "no small file system mounted for this run";
    std::wstring folder = L"Z:" + AnsiToWide(mount);
    for (wchar_t& c : folder) {
        if (c == L'/') c = L'\\';
    }
    const std::wstring path = folder + L"\\old.txt";
    const std::wstring filler = folder + L"\\filler.bin";
    WriteFileBytes(path, "old content\r\n");
    HANDLE fill = CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(fill, INVALID_HANDLE_VALUE);
    const std::string block(4096, 'x');
    DWORD put = 0;
    while (WriteFile(fill, block.data(), static_cast<DWORD>(block.size()), &put, nullptr) && put == block.size()) {
    }
    CloseHandle(fill);

    PasteOver(qty(), L"2000");
    Build();
    EXPECT_EQ(SaveAs(path), L"Stream write error.");
    EXPECT_EQ(ReadFileBytes(path), "old content\r\n");
    DeleteFileW(filler.c_str());
    EXPECT_EQ(FilesIn(folder), 1) << "no temporary file is left behind";
    DeleteFileW(path.c_str());
}

TEST_F(BehaviourTest, TypingDuringARunUpdatesTheFieldsButNotTheRun) {
    const int n = 20000;
    PasteOver(qty(), std::to_wstring(n));
    SetFocus(first());
    SendMessageW(first(), EM_SETSEL, 14, 14);
    PostMessageW(form->Button1.Handle(), BM_CLICK, 0, 0);
    PostMessageW(first(), WM_CHAR, L'7', 1);
    Pump();
    EXPECT_EQ(Text(first()), L"358511020000027");
    EXPECT_EQ(Text(form->lblIMEI14Len.Handle()), L"15");
    EXPECT_EQ(memo(), ListOf("35851102000002", n));
}

TEST_F(BehaviourTest, ResultMenuHasItsTwoItemsAndTheDialogAddsTxt) {
    const HMENU menu = form->pm.Handle();
    ASSERT_EQ(GetMenuItemCount(menu), 2);
    wchar_t caption[64];
    GetMenuStringW(menu, 0, caption, 64, MF_BYPOSITION);
    EXPECT_STREQ(caption, L"Copy to Clipboard");
    GetMenuStringW(menu, 1, caption, 64, MF_BYPOSITION);
    EXPECT_STREQ(caption, L"&Save To Text File");

    const std::wstring folder = TempFolder();
    const std::wstring bare = folder + L"\\plain";
    Build();
    EXPECT_EQ(SaveAs(bare), L"");
    EXPECT_EQ(ReadFileBytes(bare + L".txt"), WideToAnsi(kInitialList));
    DeleteFileW((bare + L".txt").c_str());
}

// What happens to a run when the user acts while it writes: each row starts a
// run through the real button and acts from inside the run's own event
// processing, at its first round or a little later.
TEST_F(BehaviourTest, PressingEscapingOrClosingDuringARunLeavesOneWholeList) {
    enum class Expect { Exactly, WholeLinesOfTheFirstRun };
    struct Row {
        const char* what;
        int quantity;
        std::function<void(BehaviourTest&)> start;   // posts what starts the run
        std::function<void(BehaviourTest&)> during;  // after 300 ms of the run; may be empty
        bool runTheLoop;  // the event loop instead of a pump, for a close
        Expect expect;
        int finalQuantity;  // for Exactly: the list of the first body with this quantity
    };
    const auto click = [](BehaviourTest& t) { PostMessageW(t.form->Button1.Handle(), BM_CLICK, 0, 0); };
    const Row rows[] = {
        {"a second press with other values", 200000, click,
         [](BehaviourTest& t) {
             PasteOver(t.qty(), L"5");
             PostMessageW(t.form->Button1.Handle(), BM_CLICK, 0, 0);
         },
         false, Expect::Exactly, 5},
        {"a double click: two presses with the same values", 20000,
         [click](BehaviourTest& t) {
             click(t);
             click(t);
         },
         nullptr, false, Expect::Exactly, 20000},
        {"Enter held on the button", 20000,
         [](BehaviourTest& t) {
             SetFocus(t.form->Button1.Handle());
             for (int i = 0; i < 6; ++i) PostMessageW(t.form->Button1.Handle(), WM_KEYDOWN, VK_RETURN, 1);
         },
         nullptr, false, Expect::Exactly, 20000},
        {"a press from inside a nested processing of events", 200000, click,
         [](BehaviourTest& t) {
             PasteOver(t.qty(), L"7");
             PostMessageW(t.form->Button1.Handle(), BM_CLICK, 0, 0);
             Pump();
             // The press returned at once: no second run ran inside this one.
             EXPECT_TRUE(t.form->Running());
             EXPECT_NE(t.memo(), ListOf("35851102000002", 7));
         },
         false, Expect::Exactly, 7},
        {"Escape", 200000, click,
         [](BehaviourTest& t) { PostMessageW(t.form->mmoResult.Handle(), WM_KEYDOWN, VK_ESCAPE, 1); }, false,
         Expect::WholeLinesOfTheFirstRun, 0},
        {"closing the window", 200000, click, [](BehaviourTest& t) { PostMessageW(t.form->Handle(), WM_CLOSE, 0, 0); },
         true, Expect::WholeLinesOfTheFirstRun, 0},
    };

    static std::function<void()> during;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        PasteOver(first(), L"35851102000002");
        PasteOver(qty(), std::to_wstring(row.quantity));
        during = row.during ? std::function<void()>([&] { row.during(*this); }) : nullptr;
        const UINT_PTR timer = SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            if (during) during();
        });
        std::wstring said;
        {
            DialogWatcher watcher([&](HWND box) {
                said = DialogWatcher::MessageText(box);
                DialogWatcher::Answer(box, IDOK);
            });
            row.start(*this);
            if (row.runTheLoop) {
                Application().Run();
                EXPECT_TRUE(Application().Terminated());
                Application().ResetTerminated();
            } else {
                Pump();
            }
        }
        KillTimer(nullptr, timer);
        during = nullptr;

        EXPECT_EQ(said, L"") << "no message box";
        EXPECT_FALSE(form->Running()) << "no run is left active";
        const std::wstring text = memo();
        if (row.expect == Expect::Exactly) {
            EXPECT_EQ(text, ListOf("35851102000002", row.finalQuantity));
            EXPECT_EQ(PanelText(*form, 3), L"Lines = " + std::to_wstring(row.finalQuantity));
        } else {
            const std::wstring list = ListOf("35851102000002", row.quantity);
            EXPECT_LT(text.size(), list.size()) << "the run stopped early";
            EXPECT_EQ(list.substr(0, text.size()), text);
            ASSERT_GE(text.size(), 6u);
            EXPECT_EQ(text.substr(text.size() - 2), L"\r\n") << "whole lines only";
            const auto bodyLines = known::ImeisIn(text.size());
            EXPECT_EQ(PanelText(*form, 3), L"Lines = " + std::to_wstring(bodyLines));
        }
    }
}

// Outside a run, Escape changes nothing.
TEST_F(BehaviourTest, EscapeOutsideARunDoesNothing) {
    Build();
    Key(form->mmoResult.Handle(), VK_ESCAPE);
    EXPECT_EQ(memo(), kInitialList);
    EXPECT_EQ(PanelText(*form, 3), L"Lines = 10");
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
}

TEST_F(BehaviourTest, AFullResultPageStopsTheRunWithTheLinesThatFit) {
    SendMessageW(form->mmoResult.Handle(), EM_SETLIMITTEXT, 100, 0);
    EXPECT_EQ(Build(), L"The result page can hold no more text: the run stopped after 5 lines.");
    EXPECT_EQ(memo(), kInitialList.substr(0, known::ListSize(5)));
    EXPECT_EQ(PanelText(*form, 3), L"Lines = 5");
}

}  // namespace
}  // namespace kestrino::test
