#include "plat/draw_snapshot.h"

#include <imgui.h>

#include <cstring>

namespace plat {

namespace {

void put(std::vector<uint8_t>& out, const void* data, size_t size) {
    const size_t at = out.size();
    out.resize(at + size);
    if (size) std::memcpy(out.data() + at, data, size);
}

template <typename T> void put(std::vector<uint8_t>& out, const T& value) {
    put(out, &value, sizeof value);
}

// Field by field: the padding inside a command would make equal frames compare unequal.
void putCommand(std::vector<uint8_t>& out, const ImDrawCmd& cmd) {
    put(out, cmd.ClipRect);
    const ImTextureRef& tex = cmd.TexRef;
    put(out, tex._TexData);
    put(out, tex._TexData ? tex._TexData->TexID : tex._TexID);
    put(out, cmd.VtxOffset);
    put(out, cmd.IdxOffset);
    put(out, cmd.ElemCount);
    put(out, cmd.UserCallback);
    put(out, cmd.UserCallbackData);
}

bool texturesPending(const ImDrawData& data) {
    if (!data.Textures) return false;
    for (const ImTextureData* tex : *data.Textures)
        if (tex->Status != ImTextureStatus_OK) return true;
    return false;
}

} // namespace

bool DrawSnapshot::sameAsLast(const ImDrawData& data, int width, int height) {
    next_.clear();
    put(next_, width);
    put(next_, height);
    put(next_, data.DisplayPos);
    put(next_, data.DisplaySize);
    put(next_, data.FramebufferScale);
    put(next_, data.CmdListsCount);
    for (const ImDrawList* list : data.CmdLists) {
        put(next_, list->VtxBuffer.Size);
        put(next_, list->IdxBuffer.Size);
        put(next_, list->CmdBuffer.Size);
        put(next_, list->VtxBuffer.Data, size_t(list->VtxBuffer.size_in_bytes()));
        put(next_, list->IdxBuffer.Data, size_t(list->IdxBuffer.size_in_bytes()));
        for (const ImDrawCmd& cmd : list->CmdBuffer)
            putCommand(next_, cmd);
    }
    const bool same = !last_.empty() && next_ == last_ && !texturesPending(data);
    last_.swap(next_);
    return same;
}

} // namespace plat
