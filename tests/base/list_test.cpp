#include "base/list.h"
#include "base/tcexp.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(List, CursorWalksTheTextsInOrderAndStopsAtTheEnd)
{
    List l;
    EXPECT_EQ(l.getItem(), nullptr);
    EXPECT_EQ(l.next(), nullptr);
    l.addElem("a");
    EXPECT_STREQ(l.getItem(), "a") << "first element is current without a reset";
    l.addElem("b");
    EXPECT_STREQ(l.getItem(), "a") << "adding does not move the cursor";
    char text[] = "c";
    l.addElem(text);
    text[0] = 'z';
    EXPECT_EQ(l.count(), 3);

    l.reset();
    EXPECT_STREQ(l.getItem(), "a");
    l.next();
    EXPECT_STREQ(l.getItem(), "b");
    l.next();
    EXPECT_STREQ(l.getItem(), "c") << "the list keeps its own copy";
    EXPECT_EQ(l.next(), nullptr);
    EXPECT_EQ(l.getItem(), nullptr);
    EXPECT_EQ(l.next(), nullptr);
    l.reset();
    EXPECT_STREQ(l.getItem(), "a");
}

TEST(TCException, CarriesACopyOfItsMessage)
{
    TCException* plain = new TCException();
    EXPECT_STREQ(plain->getMessage(), "TCException");
    delete plain;

    std::string text = "connection lost";
    TCException* e = new TCException(text.c_str());
    text[0] = 'X';
    try {
        throw e;
    } catch (TCException* caught) {
        EXPECT_STREQ(caught->getMessage(), "connection lost");
        delete caught;
    }
}

} // namespace
