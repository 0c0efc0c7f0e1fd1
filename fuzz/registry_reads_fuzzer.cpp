// Registry reads against a plain model. The input fills the store with keys and values
// (names from a small alphabet, so that they meet: mixed case, doubled and outer
// backslashes, NUL bytes) and then reads them back as the browser's path is read: as text
// into a 256-byte buffer, or as a 32-bit number. Every answer must be the model's.

#include "browser/mdl_registry.h"
#include "win32/advapi32/registry_store.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

using advapi32::HKEY;

constexpr HKEY kHives[] = {advapi32::HKEY_CLASSES_ROOT, advapi32::HKEY_CURRENT_USER, advapi32::HKEY_LOCAL_MACHINE,
                           advapi32::HKEY_USERS, 0, 0x80000010};

std::string Name(FuzzedDataProvider& input) {
    static constexpr char kAlphabet[] = {'a', 'A', 'b', '\\', '\\', '\0', 'x'};
    std::string name;
    const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, 6);
    for (std::size_t i = 0; i < length; ++i)
        name += kAlphabet[input.ConsumeIntegralInRange<std::size_t>(0, sizeof kAlphabet - 1)];
    return name;
}

// The model's spelling of a key: lower case, split at backslashes, empty parts dropped.
std::string ModelKey(const std::string& path) {
    std::string key;
    std::string part;
    for (const char c : path + "\\") {
        if (c == '\\') {
            if (!part.empty())
                key += (key.empty() ? "" : "\\") + part;
            part.clear();
        } else {
            part += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
    return key;
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string BeforeNul(const std::string& text) { return text.substr(0, text.find('\0')); }

struct Model {
    // (hive, key) to value name to data
    std::map<std::pair<HKEY, std::string>, std::map<std::string, std::string>> keys;

    bool Read(HKEY hive, const std::string& keyPath, const std::string& valueName, bool textMode,
              std::string& value) const {
        // The functions take C strings: both names end at their first NUL.
        const auto key = keys.find({hive, ModelKey(BeforeNul(keyPath))});
        if (key == keys.end())
            return false;
        const auto found = key->second.find(Lower(BeforeNul(valueName)));
        if (found == key->second.end())
            return false;
        const std::string& data = found->second;
        if (textMode) {
            if (data.size() > 256)
                return false;
            value = BeforeNul(data);
            return true;
        }
        if (data.size() > 4)
            return false;
        std::uint32_t number = 0;
        for (std::size_t i = 0; i < data.size(); ++i)
            number |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
        value = std::to_string(static_cast<std::int32_t>(number));
        return true;
    }
};

void Require(bool condition, const std::string& what) {
    if (!condition) {
        std::fprintf(stderr, "registry_reads: %s\n", what.c_str());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    advapi32::ClearStore();
    Model model;
    while (input.remaining_bytes() > 0) {
        const HKEY hive = kHives[input.ConsumeIntegralInRange<std::size_t>(0, 3)];
        const std::string keyPath = Name(input);
        const std::string valueName = Name(input);
        if (input.ConsumeBool()) {
            const std::string bytes =
                input.ConsumeBool() ? input.ConsumeRandomLengthString(300) : std::string(input.ConsumeIntegralInRange(250, 260), 'v');
            const auto type = input.ConsumeIntegralInRange<advapi32::DWORD>(0, 4);
            advapi32::SetValue(hive, keyPath, valueName, type, std::vector<advapi32::BYTE>(bytes.begin(), bytes.end()));
            // A key whose name holds a NUL cannot be named by the functions' C strings.
            model.keys[{hive, ModelKey(keyPath)}][Lower(valueName)] = bytes;
            continue;
        }
        const HKEY readHive = input.ConsumeBool() ? hive : kHives[input.ConsumeIntegralInRange<std::size_t>(0, 5)];
        const bool textMode = input.ConsumeBool();
        std::string got = "untouched";
        std::string expected = "untouched";
        const bool read = mdlRegistry::ReadRegistryString(readHive, keyPath, valueName, textMode, got);
        const bool modelRead = model.Read(readHive, keyPath, valueName, textMode, expected);
        Require(read == modelRead, "read " + std::to_string(read) + ", the model " + std::to_string(modelRead));
        Require(got == expected, "read \"" + got + "\", the model \"" + expected + "\"");
    }
    return 0;
}
