#include "service/JsonNode.h"

#include <json/json.h>
#include <utility>

JsonNode::JsonNode() = default;
JsonNode::~JsonNode() = default;
JsonNode::JsonNode(const Json::Value* value) : value_(value) {}

JsonNode::JsonNode(JsonNode&& other) noexcept
    : document_(std::move(other.document_)), value_(std::exchange(other.value_, nullptr)) {}

JsonNode& JsonNode::operator=(JsonNode&& other) noexcept {
    document_ = std::move(other.document_);
    value_ = std::exchange(other.value_, nullptr);
    return *this;
}

bool JsonNode::Parse(const char* text) {
    if (!text)
        return false;
    return Parse(std::string_view(text));
}

bool JsonNode::Parse(std::string_view text) {
    if (document_)
        return false;
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    builder["allowComments"] = true;
    builder["failIfExtra"] = false;
    builder["strictRoot"] = false;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    auto root = std::make_unique<Json::Value>();
    try {
        if (!reader->parse(text.data(), text.data() + text.size(), root.get(), nullptr))
            return false;
    } catch (const Json::Exception&) {
        return false; // nesting deeper than the reader's stack limit
    }
    document_ = std::move(root);
    value_ = document_.get();
    return true;
}

const Json::Value& JsonNode::Lookup(const char* name) const {
    if (!value_->isObject() && !value_->isNull())
        Json::throwLogicError("in Json::Value::operator[](char const*)const: requires objectValue");
    return (*value_)[name];
}

JsonNode JsonNode::Member(const char* name) const {
    if (!name || !*name || !value_)
        return JsonNode();
    if (!value_->isObject() && !value_->isNull())
        return JsonNode();
    return JsonNode(&(*value_)[name]);
}

JsonNode JsonNode::Element(int i) const {
    if (!value_ || i < 0 || !value_->isArray())
        return JsonNode();
    auto index = static_cast<Json::ArrayIndex>(i);
    if (!value_->isValidIndex(index))
        return JsonNode();
    return JsonNode(&(*value_)[index]);
}

std::optional<std::string> JsonNode::GetString(const char* name) const {
    if (!name || !*name || !value_)
        return std::nullopt;
    const Json::Value& v = Lookup(name);
    // Text, or what a null or boolean reads as; numbers, arrays and objects are not text here.
    if (!v.isNull() && !v.isString() && !v.isBool())
        Json::throwLogicError("Type is not convertible to string");
    return v.asString();
}

int JsonNode::GetInt(const char* name) const {
    if (!name || !*name || !value_)
        return 0;
    return Lookup(name).asInt();
}

double JsonNode::GetDouble(const char* name) const {
    if (!name || !*name || !value_)
        return 0.0;
    return Lookup(name).asDouble();
}
