// Maps set aside: handles that hold a map while another one is current, and
// decoding into a handle on any thread. A switch moves a fixed set of fields
// between the current map's variables and a handle: the model (model.cpp),
// the shader renderer's copy by value (gpu_upload.cpp) and grouped drawing's
// kept order (bytexture.cpp). No cell, pixel or GL object is touched.
#include <atomic> // std::atomic_flag: the lock of the live handles
#include <thread> // std::this_thread::yield while another thread holds it

#include "bytexture_internal.h" // TmapGroupedOrder, tmapSwapGroupedOrder
#include "gpu_internal.h"       // TmapGpuCopy, tmapGpuReleaseCopy
#include "internal.h"

struct TmapMap {
    // What the map is while set aside; empty while it is current, when the
    // current map's variables hold it.
    TmapModel model;
    TmapGpuCopy gpu;
    TmapGroupedOrder grouped;
    bool current;
    // Has been current: only then can it hold GL objects or a kept order.
    bool wasCurrent;
};

namespace {

// The handle of the current map, or nullptr when it has none (drawing
// thread only, like the variables).
TmapMap *currentHandle = nullptr;

// Every live handle, so that a released or made-up one is refused without
// being read. Handles are made on any thread (a decode into a handle), so
// the list has a lock; it is held for a few instructions at a time.
std::atomic_flag liveLock = ATOMIC_FLAG_INIT;
TmapMap **liveHandles = nullptr;
size_t liveCount = 0;
size_t liveCapacity = 0;

void lockLive()
{
    while (liveLock.test_and_set(std::memory_order_acquire))
        std::this_thread::yield();
}

void unlockLive() { liveLock.clear(std::memory_order_release); }

bool isLive(const TmapMap *map)
{
    if (map == nullptr)
        return false;
    lockLive();
    bool live = false;
    for (size_t i = 0; i < liveCount && !live; ++i)
        live = liveHandles[i] == map;
    unlockLive();
    return live;
}

// A new, empty, live handle, or nullptr when out of memory.
TmapMap *newHandle()
{
    TmapMap *map = static_cast<TmapMap *>(tmapAllocate(sizeof(TmapMap)));
    if (map == nullptr)
        return nullptr;
    *map = TmapMap();
    lockLive();
    bool listed = true;
    if (liveCount == liveCapacity) {
        size_t capacity = liveCapacity < 8 ? 8 : liveCapacity * 2;
        TmapMap **grown = static_cast<TmapMap **>(tmapAllocate(capacity * sizeof(TmapMap *)));
        if (grown == nullptr) {
            listed = false;
        } else {
            for (size_t i = 0; i < liveCount; ++i)
                grown[i] = liveHandles[i];
            tmapFree(liveHandles);
            liveHandles = grown;
            liveCapacity = capacity;
        }
    }
    if (listed)
        liveHandles[liveCount++] = map;
    unlockLive();
    if (!listed) {
        tmapFree(map);
        return nullptr;
    }
    return map;
}

void freeHandle(TmapMap *map)
{
    lockLive();
    for (size_t i = 0; i < liveCount; ++i) {
        if (liveHandles[i] == map) {
            liveHandles[i] = liveHandles[--liveCount];
            break;
        }
    }
    if (liveCount == 0) {
        freeAndClear(liveHandles);
        liveCapacity = 0;
    }
    unlockLive();
    tmapFree(map);
}

// The current map into a handle, leaving no current map. Only a GPU copy
// that holds this map travels; one left behind by a released map stays for
// the next upload to delete, as it would without handles.
void moveCurrentInto(TmapMap *map)
{
    tmapTakeModel(map->model);
    map->gpu = TmapGpuCopy();
    if (tmapGpuCopy.current) {
        map->gpu = tmapGpuCopy;
        tmapGpuCopy = TmapGpuCopy();
    }
    tmapSwapGroupedOrder(map->grouped);
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
    TmapMap *map = newHandle();
    if (map == nullptr) {
        tmapFreeModel(model);
        reason.code = TMAP_ERROR_OUT_OF_MEMORY;
        return nullptr;
    }
    map->model = model;
    return map;
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
    TmapMap *map = currentHandle != nullptr ? currentHandle : newHandle();
    if (map == nullptr) {
        tmapError = TMAP_ERROR_OUT_OF_MEMORY;
        return nullptr;
    }
    moveCurrentInto(map);
    return map;
}

int tmapMakeCurrent(TmapMap *map)
{
    if (!isLive(map)) {
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
    tmapSwapGroupedOrder(map->grouped);
    map->current = true;
    map->wasCurrent = true;
    currentHandle = map;
    return 0;
}

void tmapReleaseMap(TmapMap *map)
{
    if (!isLive(map))
        return;
    if (map->current) {
        tmapRelease();
        return;
    }
    tmapFreeModel(map->model);
    if (map->wasCurrent) {
        tmapGpuReleaseCopy(map->gpu);
        tmapReleaseGroupedOrder(map->grouped);
    }
    freeHandle(map);
}
