// JPEG through the Windows Imaging Component. Errors are the failing call's
// HRESULT (never 0). The encoder builds its own Huffman tables, so the
// request for optimised coding has nothing more to ask for.
#include "platform/jpeg_codec.h"

#include <windows.h>
#include <wincodec.h>

#include <algorithm>

namespace platform {
namespace {

// COM for the calling thread while it lives; a thread that already chose
// the other apartment model keeps it.
class ComScope {
public:
    ComScope() : Result(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(Result)) CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool Usable() const { return SUCCEEDED(Result) || Result == RPC_E_CHANGED_MODE; }
    HRESULT Error() const { return Result; }

private:
    HRESULT Result;
};

// Releases a COM interface at the end of its scope.
template <class T>
class Ref {
public:
    Ref() = default;
    ~Ref() {
        if (P) P->Release();
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    T** operator&() { return &P; }
    T* operator->() const { return P; }
    T* get() const { return P; }

private:
    T* P = nullptr;
};

int Code(HRESULT hr) { return hr == S_OK ? -1 : static_cast<int>(hr); }

HRESULT MakeFactory(Ref<IWICImagingFactory>& factory) {
    return CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                            reinterpret_cast<void**>(&factory));
}

}  // namespace

int DecodeJpeg(const uint8_t* data, size_t size, IJpegTarget& target) {
    if (!data || size == 0 || size > 0xFFFFFFFFu) return Code(E_INVALIDARG);
    ComScope com;
    if (!com.Usable()) return Code(com.Error());
    Ref<IWICImagingFactory> factory;
    Ref<IWICStream> stream;
    Ref<IWICBitmapDecoder> decoder;
    Ref<IWICBitmapFrameDecode> frame;
    Ref<IWICBitmapSource> rgb;
    HRESULT hr = MakeFactory(factory);
    if (SUCCEEDED(hr)) hr = factory->CreateStream(&stream);
    if (SUCCEEDED(hr)) hr = stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size));
    // The JPEG decoder itself: other formats are no JPEG files.
    if (SUCCEEDED(hr)) hr = factory->CreateDecoder(GUID_ContainerFormatJpeg, nullptr, &decoder);
    if (SUCCEEDED(hr)) hr = decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand);
    if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, &frame);
    UINT width = 0, height = 0;
    if (SUCCEEDED(hr)) hr = frame->GetSize(&width, &height);
    if (FAILED(hr)) return Code(hr);
    uint8_t* pixels = width && height ? target.Allocate(width, height) : nullptr;
    if (!pixels) return Code(WINCODEC_ERR_IMAGESIZEOUTOFRANGE);
    hr = WICConvertBitmapSource(GUID_WICPixelFormat24bppRGB, frame.get(), &rgb);
    const UINT stride = width * 3;
    if (SUCCEEDED(hr)) hr = rgb->CopyPixels(nullptr, stride, stride * height, pixels);
    return FAILED(hr) ? Code(hr) : 0;
}

int EncodeJpeg(uint32_t width, uint32_t height, int quality, IJpegSource& source, std::vector<uint8_t>& out,
               bool) {
    if (width == 0 || height == 0) return Code(E_INVALIDARG);
    ComScope com;
    if (!com.Usable()) return Code(com.Error());
    Ref<IWICImagingFactory> factory;
    Ref<IStream> memory;
    Ref<IWICBitmapEncoder> encoder;
    Ref<IWICBitmapFrameEncode> frame;
    Ref<IPropertyBag2> options;
    HRESULT hr = MakeFactory(factory);
    if (SUCCEEDED(hr)) hr = CreateStreamOnHGlobal(nullptr, TRUE, &memory);
    if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder);
    if (SUCCEEDED(hr)) hr = encoder->Initialize(memory.get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, &options);
    if (SUCCEEDED(hr)) {
        PROPBAG2 name{};
        name.pstrName = const_cast<wchar_t*>(L"ImageQuality");
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_R4;
        value.fltVal = static_cast<float>(std::clamp(quality, 1, 100)) / 100.0f;
        hr = options->Write(1, &name, &value);
        // Full-resolution colour where the encoder offers the choice:
        // subsampling smears thin saturated lines.
        name.pstrName = const_cast<wchar_t*>(L"JpegYCrCbSubsampling");
        value.vt = VT_UI1;
        value.bVal = WICJpegYCrCbSubsampling444;
        if (SUCCEEDED(hr)) options->Write(1, &name, &value);
    }
    if (SUCCEEDED(hr)) hr = frame->Initialize(options.get());
    if (SUCCEEDED(hr)) hr = frame->SetSize(width, height);
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
    if (SUCCEEDED(hr) && format != GUID_WICPixelFormat24bppBGR) hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    for (uint32_t y = 0; SUCCEEDED(hr) && y < height; ++y) {
        source.Row(y, row.data());
        for (size_t i = 0; i < row.size(); i += 3) std::swap(row[i], row[i + 2]);
        hr = frame->WritePixels(1, static_cast<UINT>(row.size()), static_cast<UINT>(row.size()), row.data());
    }
    if (SUCCEEDED(hr)) hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    STATSTG stat{};
    if (SUCCEEDED(hr)) hr = memory->Stat(&stat, STATFLAG_NONAME);
    HGLOBAL global = nullptr;
    if (SUCCEEDED(hr)) hr = GetHGlobalFromStream(memory.get(), &global);
    if (FAILED(hr)) return Code(hr);
    const auto* bytes = static_cast<const uint8_t*>(GlobalLock(global));
    if (!bytes) return Code(E_OUTOFMEMORY);
    out.assign(bytes, bytes + stat.cbSize.QuadPart);
    GlobalUnlock(global);
    return 0;
}

}  // namespace platform
