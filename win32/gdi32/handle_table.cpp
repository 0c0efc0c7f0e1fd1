#include "win32/gdi32/handle_table.h"

#include "win32/gdi32/surface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <variant>

#include <sys/mman.h>
#include <unistd.h>

namespace gdi32::detail {

namespace {

constexpr std::uint32_t kSlotBits = 20;
constexpr std::uint32_t kSlotMask = (1u << kSlotBits) - 1;

struct Slot {
    std::uint32_t generation = 1;
    std::variant<std::monostate, std::unique_ptr<BitmapRecord>, DcRecord> object;
};

struct Table {
    std::vector<Slot> slots = std::vector<Slot>(1); // slot 0 is never used: handle 0 is none
    std::vector<std::uint32_t> freeSlots;
    std::size_t live = 0;

    std::uint32_t Add(decltype(Slot::object) object) {
        std::uint32_t index;
        if (!freeSlots.empty()) {
            index = freeSlots.back();
            freeSlots.pop_back();
        } else {
            index = static_cast<std::uint32_t>(slots.size());
            slots.emplace_back();
        }
        slots[index].object = std::move(object);
        ++live;
        return (slots[index].generation << kSlotBits) | index;
    }

    Slot* Find(std::uint32_t handle) {
        const std::uint32_t index = handle & kSlotMask;
        if (index == 0 || index >= slots.size())
            return nullptr;
        Slot& slot = slots[index];
        if (slot.generation != handle >> kSlotBits || std::holds_alternative<std::monostate>(slot.object))
            return nullptr;
        return &slot;
    }

    void Remove(std::uint32_t handle) {
        Slot* slot = Find(handle);
        if (slot == nullptr)
            return;
        slot->object = std::monostate{};
        slot->generation = (slot->generation + 1) & ((1u << (32 - kSlotBits)) - 1);
        if (slot->generation == 0)
            slot->generation = 1;
        freeSlots.push_back(handle & kSlotMask);
        --live;
    }
};

Table& TheTable() {
    static Table table;
    return table;
}

} // namespace

BitmapRecord* FindBitmap(HBITMAP handle) {
    Slot* slot = TheTable().Find(handle.value);
    if (slot == nullptr)
        return nullptr;
    auto* bitmap = std::get_if<std::unique_ptr<BitmapRecord>>(&slot->object);
    return bitmap ? bitmap->get() : nullptr;
}

DcRecord* FindDc(HDC handle) {
    Slot* slot = TheTable().Find(handle.value);
    return slot ? std::get_if<DcRecord>(&slot->object) : nullptr;
}

BitmapRecord* SelectedBitmap(HDC handle) {
    const DcRecord* dc = FindDc(handle);
    return dc ? FindBitmap(dc->selected) : nullptr;
}

HBITMAP AddBitmap(std::unique_ptr<BitmapRecord> bitmap) {
    return HBITMAP{TheTable().Add(std::move(bitmap))};
}

HDC AddDc(DcRecord dc) { return HDC{TheTable().Add(dc)}; }

void RemoveBitmap(HBITMAP handle) { TheTable().Remove(handle.value); }
void RemoveDc(HDC handle) { TheTable().Remove(handle.value); }

HBITMAP StockBitmap() {
    static const HBITMAP stock = [] {
        auto bitmap = MakeBitmap(1, 1, false);
        bitmap->isStock = true;
        const HBITMAP handle = AddBitmap(std::move(bitmap));
        --TheTable().live;
        return handle;
    }();
    return stock;
}

namespace {

struct FreePixels {
    void operator()(std::uint32_t* pixels) const noexcept { std::free(pixels); }
};

// Memory for count pixels, zeroed or not. Large blocks are advised for huge pages: a
// 4096 × 4096 bitmap then takes a few dozen page faults instead of sixteen thousand, which
// on a virtual machine is most of the cost of making and filling it.
PixelMemory AllocatePixels(std::size_t count, Fill fill) {
    const std::size_t bytes = std::max<std::size_t>(count, 1) * sizeof(std::uint32_t);
    auto* pixels = static_cast<std::uint32_t*>(fill == Fill::Zeroed ? std::calloc(bytes, 1) : std::malloc(bytes));
    if (pixels == nullptr)
        throw std::bad_alloc();
    PixelMemory memory(pixels, FreePixels{});
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    if (bytes >= 2 * kHugePage) {
        const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        const auto first = (reinterpret_cast<std::uintptr_t>(pixels) + page - 1) / page * page;
        const auto end = (reinterpret_cast<std::uintptr_t>(pixels) + bytes) / page * page;
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE); // advice only
    }
    return memory;
}

} // namespace

void BitmapRecord::OwnPixels() {
    if (pixels.use_count() <= 1)
        return;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    PixelMemory own = AllocatePixels(count, Fill::Unset);
    std::memcpy(own.get(), pixels.get(), count * sizeof(std::uint32_t));
    pixels = std::move(own);
}

std::unique_ptr<BitmapRecord> MakeBitmap(std::int32_t width, std::int32_t height, bool bottomUp, Fill fill) {
    auto bitmap = std::make_unique<BitmapRecord>();
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bottomUp = bottomUp;
    // Zeroed, a new bitmap is black, and its reserved bytes are 0.
    bitmap->pixels = AllocatePixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
    return bitmap;
}

} // namespace gdi32::detail

namespace gdi32 {

std::size_t CountLiveObjects() { return detail::TheTable().live; }

} // namespace gdi32
