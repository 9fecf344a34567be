#pragma once
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace Json {
class Value;
}

// The access layer through which every service reply is read. A node refers to one JSON value;
// an owning node holds a whole parsed document, member and element nodes are non-owning
// references into it and must not outlive it.
//
// GetString/GetInt/GetDouble read a member of an object node. A missing or null member gives ""
// / 0 / 0.0. A member of the wrong type, or a node that is not an object, raises the jsoncpp
// error Json::LogicError ("Type is not convertible to string" and the like); list readers catch
// it per element and skip that element. Numbers are not read as text.
class JsonNode {
public:
    JsonNode();
    ~JsonNode();
    JsonNode(JsonNode&&) noexcept;
    JsonNode& operator=(JsonNode&&) noexcept;
    JsonNode(const JsonNode&) = delete;
    JsonNode& operator=(const JsonNode&) = delete;

    // Parses the whole text (comments allowed, not kept). Refused when text is null or this node
    // already holds a document; on failure the node stays as it was.
    bool Parse(const char* text);
    bool Parse(std::string_view text);

    // The member as a valid node (referring to null when missing); an invalid node when name is
    // null or empty, this node is invalid, or this value is neither an object nor null.
    JsonNode Member(const char* name) const;
    // Element i of an array; an invalid node when i is out of range or this is not an array.
    JsonNode Element(int i) const;

    // None when the node is invalid or the name null or empty.
    std::optional<std::string> GetString(const char* name) const;
    int GetInt(const char* name) const;
    double GetDouble(const char* name) const;

    bool IsValid() const { return value_ != nullptr; }
    bool IsOwning() const { return document_ != nullptr; }

private:
    explicit JsonNode(const Json::Value* value);
    // The member looked up as Member does; null singleton when missing. Throws when this value
    // is neither an object nor null.
    const Json::Value& Lookup(const char* name) const;

    std::unique_ptr<Json::Value> document_; // set when owning
    const Json::Value* value_ = nullptr;    // null when invalid
};
