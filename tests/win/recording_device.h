#pragma once
// A stand-in for IDirect3DDevice7 that records the calls whose order and values
// matter, one line each, and accepts everything.
#include <windows.h>
#include <ddraw.h>
#include <d3d.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

class RecordingDevice : public IDirect3DDevice7 {
public:
    std::vector<std::string> log;
    std::vector<D3DMATRIX> transforms;  // every SetTransform's matrix, in order

    void Record(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        char line[160];
        va_list args;
        va_start(args, format);
        std::vsnprintf(line, sizeof line, format, args);
        va_end(args);
        log.push_back(line);
    }
    int Count(const std::string& prefix) const
    {
        int n = 0;
        for (const std::string& l : log)
            n += l.compare(0, prefix.size(), prefix) == 0;
        return n;
    }

    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(GetCaps)(D3DDEVICEDESC7*) override { return DD_OK; }
    STDMETHOD(EnumTextureFormats)(LPD3DENUMPIXELFORMATSCALLBACK, void*) override { return DD_OK; }
    STDMETHOD(BeginScene)() override { Record("BeginScene"); return DD_OK; }
    STDMETHOD(EndScene)() override { Record("EndScene"); return DD_OK; }
    STDMETHOD(GetDirect3D)(IDirect3D7**) override { return DD_OK; }
    STDMETHOD(SetRenderTarget)(IDirectDrawSurface7*, DWORD) override { return DD_OK; }
    STDMETHOD(GetRenderTarget)(IDirectDrawSurface7**) override { return DD_OK; }
    STDMETHOD(Clear)(DWORD count, D3DRECT*, DWORD flags, D3DCOLOR colour, D3DVALUE z, DWORD stencil) override
    {
        Record("Clear %lu %lu %08lx %g %lu", count, flags, colour, z, stencil);
        return DD_OK;
    }
    STDMETHOD(SetTransform)(D3DTRANSFORMSTATETYPE state, D3DMATRIX* m) override
    {
        Record("SetTransform %d", int(state));
        transforms.push_back(*m);
        return DD_OK;
    }
    STDMETHOD(GetTransform)(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return DD_OK; }
    STDMETHOD(SetViewport)(D3DVIEWPORT7* v) override
    {
        Record("SetViewport %lu %lu %lu %lu %g %g", v->dwX, v->dwY, v->dwWidth, v->dwHeight, v->dvMinZ, v->dvMaxZ);
        return DD_OK;
    }
    STDMETHOD(MultiplyTransform)(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return DD_OK; }
    STDMETHOD(GetViewport)(D3DVIEWPORT7*) override { return DD_OK; }
    STDMETHOD(SetMaterial)(D3DMATERIAL7* m) override
    {
        Record("SetMaterial %g %g %g %g / %g %g %g %g / %g %g %g %g / %g %g %g %g / %g",
               m->diffuse.r, m->diffuse.g, m->diffuse.b, m->diffuse.a, m->ambient.r, m->ambient.g,
               m->ambient.b, m->ambient.a, m->specular.r, m->specular.g, m->specular.b, m->specular.a,
               m->emissive.r, m->emissive.g, m->emissive.b, m->emissive.a, m->power);
        return DD_OK;
    }
    STDMETHOD(GetMaterial)(D3DMATERIAL7*) override { return DD_OK; }
    STDMETHOD(SetLight)(DWORD index, D3DLIGHT7* l) override
    {
        Record("SetLight %lu %d %g %g %g", index, int(l->dltType), l->dcvDiffuse.r, l->dcvDiffuse.g, l->dcvDiffuse.b);
        return DD_OK;
    }
    STDMETHOD(GetLight)(DWORD, D3DLIGHT7*) override { return DD_OK; }
    STDMETHOD(SetRenderState)(D3DRENDERSTATETYPE state, DWORD value) override
    {
        Record("SetRenderState %d %lu", int(state), value);
        return DD_OK;
    }
    STDMETHOD(GetRenderState)(D3DRENDERSTATETYPE, LPDWORD) override { return DD_OK; }
    STDMETHOD(BeginStateBlock)() override { return DD_OK; }
    STDMETHOD(EndStateBlock)(LPDWORD) override { return DD_OK; }
    STDMETHOD(PreLoad)(IDirectDrawSurface7*) override { return DD_OK; }
    STDMETHOD(DrawPrimitive)(D3DPRIMITIVETYPE type, DWORD fvf, void* vertices, DWORD count, DWORD flags) override
    {
        Record("DrawPrimitive %d %lx %lu %lu", int(type), fvf, count, flags);
        lastVertices = vertices;
        return DD_OK;
    }
    STDMETHOD(DrawIndexedPrimitive)(D3DPRIMITIVETYPE, DWORD, void*, DWORD, WORD*, DWORD, DWORD) override { return DD_OK; }
    STDMETHOD(SetClipStatus)(D3DCLIPSTATUS*) override { return DD_OK; }
    STDMETHOD(GetClipStatus)(D3DCLIPSTATUS*) override { return DD_OK; }
    STDMETHOD(DrawPrimitiveStrided)(D3DPRIMITIVETYPE, DWORD, D3DDRAWPRIMITIVESTRIDEDDATA*, DWORD, DWORD) override { return DD_OK; }
    STDMETHOD(DrawIndexedPrimitiveStrided)(D3DPRIMITIVETYPE, DWORD, D3DDRAWPRIMITIVESTRIDEDDATA*, DWORD, WORD*, DWORD, DWORD) override { return DD_OK; }
    STDMETHOD(DrawPrimitiveVB)(D3DPRIMITIVETYPE type, IDirect3DVertexBuffer7* buffer, DWORD start, DWORD count, DWORD flags) override
    {
        Record("DrawPrimitiveVB %d %p %lu %lu %lu", int(type), static_cast<void*>(buffer), start, count, flags);
        return DD_OK;
    }
    STDMETHOD(DrawIndexedPrimitiveVB)(D3DPRIMITIVETYPE, IDirect3DVertexBuffer7*, DWORD, DWORD, WORD*, DWORD, DWORD) override { return DD_OK; }
    STDMETHOD(ComputeSphereVisibility)(D3DVECTOR*, D3DVALUE*, DWORD, DWORD, DWORD*) override { return DD_OK; }
    STDMETHOD(GetTexture)(DWORD, IDirectDrawSurface7**) override { return DD_OK; }
    STDMETHOD(SetTexture)(DWORD stage, IDirectDrawSurface7* surface) override
    {
        Record("SetTexture %lu %p", stage, static_cast<void*>(surface));
        return DD_OK;
    }
    STDMETHOD(GetTextureStageState)(DWORD, D3DTEXTURESTAGESTATETYPE, LPDWORD) override { return DD_OK; }
    STDMETHOD(SetTextureStageState)(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) override
    {
        Record("SetTextureStageState %lu %d %lu", stage, int(state), value);
        return DD_OK;
    }
    STDMETHOD(ValidateDevice)(LPDWORD) override { return DD_OK; }
    STDMETHOD(ApplyStateBlock)(DWORD) override { return DD_OK; }
    STDMETHOD(CaptureStateBlock)(DWORD) override { return DD_OK; }
    STDMETHOD(DeleteStateBlock)(DWORD) override { return DD_OK; }
    STDMETHOD(CreateStateBlock)(D3DSTATEBLOCKTYPE, LPDWORD) override { return DD_OK; }
    STDMETHOD(Load)(IDirectDrawSurface7*, POINT*, IDirectDrawSurface7*, RECT*, DWORD) override { return DD_OK; }
    STDMETHOD(LightEnable)(DWORD index, WINBOOL enable) override
    {
        Record("LightEnable %lu %d", index, int(enable));
        return DD_OK;
    }
    STDMETHOD(GetLightEnable)(DWORD, WINBOOL*) override { return DD_OK; }
    STDMETHOD(SetClipPlane)(DWORD, D3DVALUE*) override { return DD_OK; }
    STDMETHOD(GetClipPlane)(DWORD, D3DVALUE*) override { return DD_OK; }
    STDMETHOD(GetInfo)(DWORD, void*, DWORD) override { return DD_OK; }

    void* lastVertices = nullptr;
};
