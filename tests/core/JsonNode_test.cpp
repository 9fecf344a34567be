#include "service/JsonNode.h"

#include <gtest/gtest.h>
#include <json/value.h>

namespace {

const char* kDoc = R"({
    // comments are allowed and dropped
    "s": "text", "i": 42, "d": 4.5, "b": true, "n": null,
    "o": {"inner": "x"}, "a": [1, "two", {"k": 3}]
})";

TEST(JsonNode, ParseRefusesNullBadTextAndASecondDocument) {
    JsonNode node;
    EXPECT_FALSE(node.IsValid());
    EXPECT_FALSE(node.Parse(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(node.Parse("{\"a\": "));
    EXPECT_FALSE(node.Parse(""));
    EXPECT_FALSE(node.Parse("<html>404</html>"));
    EXPECT_FALSE(node.IsValid());
    EXPECT_TRUE(node.Parse(kDoc));
    EXPECT_TRUE(node.IsValid());
    EXPECT_TRUE(node.IsOwning());
    EXPECT_FALSE(node.Parse("{}"));
    EXPECT_EQ(node.GetString("s"), "text"); // the first document stays
}

TEST(JsonNode, DeepNestingFailsInsteadOfCrashing) {
    std::string deep(100'000, '[');
    JsonNode node;
    EXPECT_FALSE(node.Parse(deep));
    EXPECT_FALSE(node.IsValid());
}

TEST(JsonNode, ReadsMembersWithDefaultsForMissingAndNull) {
    JsonNode doc;
    ASSERT_TRUE(doc.Parse(kDoc));
    EXPECT_EQ(doc.GetString("s"), "text");
    EXPECT_EQ(doc.GetString("missing"), "");
    EXPECT_EQ(doc.GetString("n"), "");
    EXPECT_EQ(doc.GetString("b"), "true");
    EXPECT_EQ(doc.GetInt("i"), 42);
    EXPECT_EQ(doc.GetInt("missing"), 0);
    EXPECT_EQ(doc.GetInt("n"), 0);
    EXPECT_EQ(doc.GetDouble("d"), 4.5);
    EXPECT_EQ(doc.GetDouble("i"), 42.0);
    EXPECT_EQ(doc.GetDouble("missing"), 0.0);
    EXPECT_FALSE(doc.GetString(nullptr));
    EXPECT_FALSE(doc.GetString(""));
    EXPECT_EQ(doc.GetInt(""), 0);
    EXPECT_EQ(doc.GetDouble(nullptr), 0.0);
}

TEST(JsonNode, WrongTypesRaiseTheJsonError) {
    JsonNode doc;
    ASSERT_TRUE(doc.Parse(kDoc));
    EXPECT_THROW(doc.GetString("i"), Json::LogicError);
    EXPECT_THROW(doc.GetString("d"), Json::LogicError);
    EXPECT_THROW(doc.GetString("o"), Json::LogicError);
    EXPECT_THROW(doc.GetInt("s"), Json::LogicError);
    EXPECT_THROW(doc.GetDouble("s"), Json::LogicError);
    EXPECT_THROW(doc.GetInt("a"), Json::LogicError);
    // Reading a member of something that is not an object is the same kind of error.
    JsonNode number = doc.Member("a").Element(0);
    ASSERT_TRUE(number.IsValid());
    EXPECT_THROW(number.GetString("x"), Json::LogicError);
    EXPECT_THROW(number.GetDouble("x"), Json::LogicError);
}

TEST(JsonNode, MembersAndElementsAreNonOwningReferences) {
    JsonNode doc;
    ASSERT_TRUE(doc.Parse(kDoc));
    JsonNode inner = doc.Member("o");
    EXPECT_TRUE(inner.IsValid());
    EXPECT_FALSE(inner.IsOwning());
    EXPECT_EQ(inner.GetString("inner"), "x");

    JsonNode missing = doc.Member("missing");
    EXPECT_TRUE(missing.IsValid()); // refers to null
    EXPECT_FALSE(missing.Element(0).IsValid());
    EXPECT_TRUE(missing.Member("deeper").IsValid());

    JsonNode a = doc.Member("a");
    EXPECT_TRUE(a.Element(0).IsValid());
    EXPECT_TRUE(a.Element(2).IsValid());
    EXPECT_EQ(a.Element(2).GetInt("k"), 3);
    EXPECT_FALSE(a.Element(3).IsValid());
    EXPECT_FALSE(a.Element(-1).IsValid());

    EXPECT_FALSE(doc.Member("").IsValid());
    EXPECT_FALSE(doc.Member(nullptr).IsValid());
    EXPECT_FALSE(doc.Member("s").Member("x").IsValid()); // text has no members
    EXPECT_FALSE(doc.Element(0).IsValid());              // an object has no elements
    EXPECT_FALSE(inner.Element(0).IsValid());

    JsonNode invalid;
    EXPECT_FALSE(invalid.Member("a").IsValid());
    EXPECT_FALSE(invalid.Element(0).IsValid());
    EXPECT_FALSE(invalid.GetString("a"));
    EXPECT_EQ(invalid.GetInt("a"), 0);
    EXPECT_EQ(invalid.GetDouble("a"), 0.0);
}

TEST(JsonNode, MovingTakesTheDocumentAlong) {
    JsonNode doc;
    ASSERT_TRUE(doc.Parse(kDoc));
    JsonNode moved = std::move(doc);
    EXPECT_TRUE(moved.IsOwning());
    EXPECT_EQ(moved.GetString("s"), "text");
    EXPECT_FALSE(doc.IsValid()); // NOLINT(bugprone-use-after-move): moved-from is invalid
    EXPECT_TRUE(doc.Parse("[]"));
}

} // namespace
