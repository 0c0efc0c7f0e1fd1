// Start-up tokens and the table of live objects.

#include "win32/gdiplus/objects.h"

#include <algorithm>

namespace gdiplus {

namespace {

struct State {
    std::vector<ULONG_PTR> tokens;
    ULONG_PTR lastToken = 0;
    // Few objects live at a time, and the most recent is used most: a vector searched from
    // the back is quicker than a hash for the per-pixel calls.
    std::vector<std::unique_ptr<BitmapObject>> images;
    std::vector<std::unique_ptr<GpGraphics>> graphics;
    std::vector<std::unique_ptr<GpImageAttributes>> attributes;

    void FreeAll() {
        attributes.clear();
        graphics.clear();
        images.clear();
    }
};

State& TheState() {
    static State state;
    return state;
}

template <class T, class Seen>
auto FindIn(std::vector<std::unique_ptr<T>>& objects, const Seen* object) {
    return std::find_if(objects.rbegin(), objects.rend(), [&](const auto& p) { return p.get() == object; });
}

template <class T, class Seen>
T* FindObject(std::vector<std::unique_ptr<T>>& objects, const Seen* object) {
    if (object == nullptr)
        return nullptr;
    const auto found = FindIn(objects, object);
    return found == objects.rend() ? nullptr : found->get();
}

template <class T, class Seen>
bool DisposeObject(std::vector<std::unique_ptr<T>>& objects, const Seen* object) {
    if (object == nullptr)
        return false;
    const auto found = FindIn(objects, object);
    if (found == objects.rend())
        return false;
    objects.erase(std::next(found).base());
    return true;
}

template <class T, class Stored>
T* AdoptInto(std::vector<std::unique_ptr<Stored>>& objects, std::unique_ptr<T> object) {
    T* raw = object.get();
    objects.push_back(std::move(object));
    return raw;
}

Status NothingToHook(ULONG_PTR* token) {
    if (token != nullptr)
        *token = 0;
    return Ok;
}

void NothingToUnhook(ULONG_PTR) {}

} // namespace

Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output) {
    if (token == nullptr || input == nullptr)
        return InvalidParameter;
    if (input->GdiplusVersion != 1)
        return UnsupportedGdiplusVersion;
    if (input->SuppressBackgroundThread) {
        if (output == nullptr)
            return InvalidParameter;
        output->NotificationHook = NothingToHook;
        output->NotificationUnhook = NothingToUnhook;
    }
    State& state = TheState();
    do
        ++state.lastToken;
    while (state.lastToken == 0);
    state.tokens.push_back(state.lastToken);
    *token = state.lastToken;
    return Ok;
}

void GdiplusShutdown(ULONG_PTR token) {
    State& state = TheState();
    const auto found = std::find(state.tokens.begin(), state.tokens.end(), token);
    if (found == state.tokens.end())
        return;
    state.tokens.erase(found);
    if (state.tokens.empty())
        state.FreeAll();
}

std::size_t CountLiveObjects() {
    const State& state = TheState();
    return state.images.size() + state.graphics.size() + state.attributes.size();
}

namespace detail {

bool Started() { return !TheState().tokens.empty(); }

BitmapObject* Adopt(std::unique_ptr<BitmapObject> bitmap) { return AdoptInto(TheState().images, std::move(bitmap)); }
GpGraphics* Adopt(std::unique_ptr<GpGraphics> graphics) {
    return AdoptInto(TheState().graphics, std::move(graphics));
}
GpImageAttributes* Adopt(std::unique_ptr<GpImageAttributes> attributes) {
    return AdoptInto(TheState().attributes, std::move(attributes));
}

BitmapObject* Find(const GpImage* image) { return FindObject(TheState().images, image); }
GpGraphics* Find(const GpGraphics* graphics) { return FindObject(TheState().graphics, graphics); }
GpImageAttributes* Find(const GpImageAttributes* attributes) {
    return FindObject(TheState().attributes, attributes);
}

bool Dispose(const GpImage* image) {
    State& state = TheState();
    if (!DisposeObject(state.images, image))
        return false;
    // A graphics object outlives its image only as a husk that draws nowhere.
    for (const auto& graphics : state.graphics)
        if (graphics->target == image)
            graphics->target = nullptr;
    return true;
}
bool Dispose(const GpGraphics* graphics) { return DisposeObject(TheState().graphics, graphics); }
bool Dispose(const GpImageAttributes* attributes) { return DisposeObject(TheState().attributes, attributes); }

} // namespace detail

} // namespace gdiplus
