// Layer selection, cell access and row tables.
#include "internal.h"

namespace {

// The cell (x, y) of the current layer, or nullptr outside the layer.
int32_t *cellAddress(int x, int y)
{
    if (tmapCurrentLayer == nullptr || x < 0 || y < 0 || x >= tmapWidth || y >= tmapHeight)
        return nullptr;
    if (tmapCurrentRows != nullptr)
        return tmapCurrentRows[y] + x;
    return tmapCurrentLayer + int64_t(y) * tmapWidth + x;
}

} // namespace

int tmapSelectLayer(unsigned int layer)
{
    if (layer >= TMAP_LAYER_COUNT || tmapLayers[layer] == nullptr)
        return -1;
    tmapCurrentLayer = tmapLayers[layer];
    tmapCurrentRows = tmapLayerRows[layer];
    return int(layer);
}

TmapBlock *tmapBlockAt(int x, int y)
{
    const int32_t *cell = cellAddress(x, y);
    return cell != nullptr ? const_cast<TmapBlock *>(tmapResolveCell(*cell)) : nullptr;
}

void tmapSetCell(int x, int y, int32_t value)
{
    if (int32_t *cell = cellAddress(x, y)) {
        *cell = value;
        tmapGpuCellChanged(cell);
    }
}

int tmapBuildRowTables(void)
{
    for (int k = 0; k < TMAP_LAYER_COUNT; ++k) {
        int32_t **oldRows = tmapLayerRows[k];
        if (oldRows != nullptr) {
            tmapFree(oldRows);
            tmapLayerRows[k] = nullptr;
            // Never leave the current row table pointing at freed memory.
            if (tmapCurrentRows == oldRows)
                tmapCurrentRows = nullptr;
        }
        int32_t *cells = tmapLayers[k];
        if (cells == nullptr)
            continue;
        int32_t **rows = static_cast<int32_t **>(tmapAllocate(size_t(tmapHeight) * sizeof(int32_t *)));
        if (rows == nullptr)
            return -1;
        for (int y = 0; y < tmapHeight; ++y)
            rows[y] = cells + int64_t(y) * tmapWidth;
        tmapLayerRows[k] = rows;
        if (cells == tmapCurrentLayer)
            tmapCurrentRows = rows;
    }
    return 0;
}
