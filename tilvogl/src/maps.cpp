// Maps set aside: handles that hold a map while another one is current, and
// decoding into a handle on any thread. A switch moves a fixed set of fields
// between the current map's variables and a handle: the model (model.cpp),
// the shader renderer's copy by value (gpu_upload.cpp) and grouped drawing's
// kept order (bytexture.cpp). No cell, pixel or GL object is touched.
#include <atomic> // std::atomic_flag: the lock of the handles' slots
#include <thread> // std::this_thread::yield while another thread holds it

#include "bytexture.h"    // TmapGroupedOrder, tmapSwapGroupedOrder
#include "gpu_internal.h" // TmapGpuCopy, tmapGpuReleaseCopy
#include "internal.h"

// A map held by a handle. The handle the program gets is not this
// structure's address but a number naming its slot and the slot's use (see
// below), so that a released handle is told apart from a new map whose
// memory happens to lie where the old one's was.
struct TmapHeldMap {
    // What the map is while set aside; empty while it is current, when the
    // current map's variables hold it.
    TmapModel model;
    TmapGpuCopy gpu;
    TmapGroupedOrder *grouped; // the kept order's place, made with the handle
    bool current;
    // Has been current: only then can it hold GL objects or a kept order.
    bool wasCurrent;
    TmapMap *handle;
};

namespace {

// The held map of the current map, or nullptr when it has none (drawing
// thread only, like the variables).
TmapHeldMap *currentHandle = nullptr;

// The slots of the held maps. A handle is (use << slotBits) | slot, where a
// slot's use counts up each time the slot takes a new map: looking a handle
// up costs the same however many maps there are, and a released one names a
// slot that is empty or in another use. Handles are made on any thread (a
// decode into a handle), so the slots have a lock; it is held for a few
// instructions at a time.
const int slotBits = sizeof(uintptr_t) >= 8 ? 24 : 12;
const size_t slotLimit = size_t(1) << slotBits;
const uintptr_t useLimit = ~uintptr_t(0) >> slotBits;

struct Slot {
    TmapHeldMap *map;
    uintptr_t use;
};

std::atomic_flag slotLock = ATOMIC_FLAG_INIT;
Slot *slots = nullptr;
size_t slotCount = 0; // in use or used before

void lockSlots()
{
    while (slotLock.test_and_set(std::memory_order_acquire))
        std::this_thread::yield();
}

void unlockSlots() { slotLock.clear(std::memory_order_release); }

// The held map a handle names, or nullptr for NULL, a released or a
// made-up handle.
TmapHeldMap *heldMap(const TmapMap *handle)
{
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    const size_t slot = size_t(value & (slotLimit - 1));
    const uintptr_t use = value >> slotBits;
    TmapHeldMap *map = nullptr;
    lockSlots();
    if (slot < slotCount && slots[slot].use == use)
        map = slots[slot].map;
    unlockSlots();
    return map;
}

// A slot for map and its handle; false when none can be had.
bool takeSlot(TmapHeldMap *map)
{
    lockSlots();
    size_t slot = 0;
    while (slot < slotCount && slots[slot].map != nullptr)
        ++slot;
    bool taken = slot < slotCount;
    if (!taken && slotCount < slotLimit) {
        // Grown by one at a time: the table is as long as the most maps
        // ever held at once, and a few slots more or less cost nothing.
        Slot *grown = static_cast<Slot *>(tmapAllocate((slotCount + 1) * sizeof(Slot)));
        if (grown != nullptr) {
            for (size_t i = 0; i < slotCount; ++i)
                grown[i] = slots[i];
            grown[slotCount] = Slot{nullptr, 0};
            tmapFree(slots);
            slots = grown;
            ++slotCount;
            taken = true;
        }
    }
    if (taken) {
        Slot &entry = slots[slot];
        // Use 0 is never handed out, so no handle is NULL.
        entry.use = entry.use >= useLimit ? 1 : entry.use + 1;
        entry.map = map;
        map->handle = reinterpret_cast<TmapMap *>((entry.use << slotBits) | uintptr_t(slot));
    }
    unlockSlots();
    return taken;
}

// A new, empty held map with its handle, or nullptr when out of memory.
TmapHeldMap *newHandle()
{
    TmapHeldMap *map = static_cast<TmapHeldMap *>(tmapAllocate(sizeof(TmapHeldMap)));
    if (map == nullptr)
        return nullptr;
    *map = TmapHeldMap();
    map->grouped = tmapNewGroupedOrder();
    if (map->grouped == nullptr || !takeSlot(map)) {
        tmapFree(map->grouped);
        tmapFree(map);
        return nullptr;
    }
    return map;
}

void freeHandle(TmapHeldMap *map)
{
    const size_t slot = size_t(reinterpret_cast<uintptr_t>(map->handle) & (slotLimit - 1));
    lockSlots();
    // The slot's use stays counted, so the handle stays refused; the table
    // itself stays for the process (as long as the most maps held at once).
    slots[slot].map = nullptr;
    unlockSlots();
    tmapFree(map->grouped);
    tmapFree(map);
}

// The current map into a handle, leaving no current map. Only a GPU copy
// that holds this map travels; one left behind by a released map stays for
// the next upload to delete, as it would without handles.
void moveCurrentInto(TmapHeldMap *map)
{
    tmapTakeModel(map->model);
    map->gpu = TmapGpuCopy();
    if (tmapGpuCopy.current) {
        map->gpu = tmapGpuCopy;
        tmapGpuCopy = TmapGpuCopy();
    }
    tmapSwapGroupedOrder(*map->grouped);
    map->current = false;
    map->wasCurrent = true;
    currentHandle = nullptr;
}

TmapMap *decodeAside(const unsigned char *image, size_t size, int firstTexture, TmapLoadError *error)
{
    TmapLoadError unwanted;
    TmapLoadError &reason = error != nullptr ? *error : unwanted;
    TmapModel model;
    if (tmapDecodeModel(image, size, firstTexture, model, reason) != 0)
        return nullptr;
    TmapHeldMap *map = newHandle();
    if (map == nullptr) {
        tmapFreeModel(model);
        reason.code = TMAP_ERROR_OUT_OF_MEMORY;
        return nullptr;
    }
    map->model = model;
    return map->handle;
}

} // namespace

void tmapVacateCurrentMap()
{
    if (currentHandle != nullptr)
        moveCurrentInto(currentHandle);
    else
        tmapRelease();
}

void tmapForgetCurrentHandle()
{
    if (currentHandle == nullptr)
        return;
    freeHandle(currentHandle);
    currentHandle = nullptr;
}

TmapMap *tmapLoadFileAside(const char *path, int firstTexture, TmapLoadError *error)
{
    TmapLoadError unwanted;
    TmapLoadError &reason = error != nullptr ? *error : unwanted;
    unsigned char *image = nullptr;
    size_t size = 0;
    if (tmapReadMapFile(path, &image, &size, reason) != 0)
        return nullptr;
    TmapMap *map = decodeAside(image, size, firstTexture, &reason);
    tmapFree(image);
    return map;
}

TmapMap *tmapDecodeBufferAside(const unsigned char *image, size_t size, int firstTexture,
                               TmapLoadError *error)
{
    return decodeAside(image, size, firstTexture, error);
}

TmapMap *tmapSetAside(void)
{
    if (!tmapMapPresent) {
        tmapError = TMAP_ERROR_NO_MAP;
        return nullptr;
    }
    TmapHeldMap *map = currentHandle != nullptr ? currentHandle : newHandle();
    if (map == nullptr) {
        tmapError = TMAP_ERROR_OUT_OF_MEMORY;
        return nullptr;
    }
    moveCurrentInto(map);
    return map->handle;
}

int tmapMakeCurrent(TmapMap *handle)
{
    TmapHeldMap *map = heldMap(handle);
    if (map == nullptr) {
        tmapError = TMAP_ERROR_BAD_HANDLE;
        return -1;
    }
    if (map->current) {
        tmapError = TMAP_ERROR_ALREADY_CURRENT;
        return -1;
    }
    // The GL part of a decode into a handle, once, before anything changes.
    if (map->model.texturesPending) {
        int refusal = tmapCheckTextureRequest(map->model.firstTexture);
        if (refusal == TMAP_ERROR_NONE)
            refusal = tmapMakeTextures(map->model);
        if (refusal != TMAP_ERROR_NONE) {
            tmapError = refusal;
            return -1;
        }
    }
    tmapVacateCurrentMap();
    // Objects a released map left in the renderer's copy: this map's copy
    // takes their place, so they are deleted now.
    if (tmapGpuCopy.uploaded)
        tmapGpuReleaseCopy(tmapGpuCopy);
    tmapInstallModel(map->model);
    map->model = TmapModel();
    tmapGpuCopy = map->gpu;
    map->gpu = TmapGpuCopy();
    tmapSwapGroupedOrder(*map->grouped);
    map->current = true;
    map->wasCurrent = true;
    currentHandle = map;
    return 0;
}

void tmapReleaseMap(TmapMap *handle)
{
    TmapHeldMap *map = heldMap(handle);
    if (map == nullptr)
        return;
    if (map->current) {
        // tmapRelease alone leaves the renderer's objects for the next
        // upload; a released handle has none, so they go now.
        if (tmapGpuCopy.current)
            tmapGpuReleaseCopy(tmapGpuCopy);
        tmapRelease();
        return;
    }
    tmapFreeModel(map->model);
    if (map->wasCurrent) {
        tmapGpuReleaseCopy(map->gpu);
        tmapReleaseGroupedOrder(*map->grouped);
    }
    freeHandle(map);
}
