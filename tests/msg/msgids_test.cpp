// Every message name stands for the table entry it says: the id in the name
// is the id the entry carries, and a name without an id picks the entry
// whose text it describes.
#include "msg/msg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct Named {
    char const* name;
    MsgId id;
};

std::vector<Named> const& allNames()
{
#define XRB_MSG_ROW(name, number) {#name, name},
    static std::vector<Named> const rows = {XRB_MESSAGE_IDS(XRB_MSG_ROW)};
#undef XRB_MSG_ROW
    return rows;
}

// "XRBE-022" when the entry begins with that id (after at most one
// newline), else "".
std::string idInEntry(char const* text)
{
    char const* p = text[0] == '\n' ? text + 1 : text;
    if (std::strncmp(p, "XRB", 3) != 0 || std::strchr("EIWS", p[3]) == nullptr || p[3] == '\0' || p[4] != '-')
        return "";
    for (int i = 5; i < 8; ++i)
        if (p[i] < '0' || p[i] > '9')
            return "";
    return std::string(p, 8);
}

// "XRBE-022" for XRBE_022_CONNECTION_BROKEN, "" for an MSG_ name.
std::string idInName(std::string const& name)
{
    if (name.compare(0, 3, "XRB") != 0)
        return "";
    std::string id = name.substr(0, 8);
    id[4] = '-';
    return id;
}

} // namespace

TEST(MessageNames, NumberTheTableInOrderOnce)
{
    std::vector<Named> const& rows = allNames();
    ASSERT_EQ(rows.size(), static_cast<size_t>(MSG_COUNT));
    std::set<std::string> names;
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].id, static_cast<int>(i) + 1) << rows[i].name;
        EXPECT_TRUE(names.insert(rows[i].name).second) << rows[i].name;
    }
}

TEST(MessageNames, TheIdInTheNameIsTheIdOfTheEntry)
{
    int withId = 0;
    for (Named const& row : allNames()) {
        std::string name = row.name;
        ASSERT_TRUE(name.compare(0, 4, "MSG_") == 0 ||
                    (name.size() > 9 && idInName(name).size() == 8 && name[8] == '_'))
            << name << ": neither an id nor MSG_";
        EXPECT_EQ(idInName(name), idInEntry(msgFormat(row.id))) << name;
        withId += !idInName(name).empty();
    }
    // The table's ids: 15 informations, 7 warnings, 78 errors.
    EXPECT_EQ(withId, 100);
}

// An entry without an id is recognised by its text; every MSG_ name has its
// expectation here, so a new one cannot go unchecked.
TEST(MessageNames, NamesWithoutAnIdPickTheEntryTheySay)
{
    std::map<MsgId, std::string> const starts = {
        {MSG_LANGUAGE_NAME, "English (Internal)"},
        {MSG_CODE_PAGE_1047, "QVX-1047"},
        {MSG_CODE_PAGE_850, "QVX-850"},
        {MSG_TABLE_VERSION, "|1.00||"},
        {MSG_VERSION_LINE, "\n   %1$s Version:%2$s"},
        {MSG_SERVER_INFORMATION, "\n   Server name      : %1$s"},
        {MSG_SERVER_BANNER, "\n   Build server started on port %1$s."},
        {MSG_LEGAL_NOTICE, "Licensed material."},
        {MSG_SERVER_BUSY, "\nServer busy"},
        {MSG_MESSAGE_FILES_HEADING, "Message files from build:"},
        {MSG_OUTPUT_FILES_LINE, "Output files    : %s"},
        {MSG_INPUT_FILES_LINE, "Input files     : %s"},
        {MSG_DEPENDENT_FILES_LINE, "Dependent files : %s"},
        {MSG_COMMAND_LINE_LINE, "Command line    : %s"},
        {MSG_FAILED, "*** Failed ***"},
        {MSG_SUCCESS, "*** Success ***"},
        {MSG_RETURN_CODE_LINE, "Return code     : %1$s"},
        {MSG_SCRIPT_OUTPUT_HEADING, "=================== Build script output"},
        {MSG_SCRIPT_OUTPUT_END, "==========================================================="},
        {MSG_PROGRESS_LINE, "%1$s  %2$s  %3$s/s  %4$s left"},
    };
    for (Named const& row : allNames()) {
        if (std::strncmp(row.name, "MSG_", 4) != 0)
            continue;
        auto it = starts.find(row.id);
        ASSERT_NE(it, starts.end()) << row.name << " has no expectation";
        std::string text = msgFormat(row.id);
        EXPECT_EQ(text.compare(0, it->second.size(), it->second), 0) << row.name << ": " << text;
    }
    EXPECT_EQ(starts.size(), static_cast<size_t>(MSG_COUNT - 100));
}
