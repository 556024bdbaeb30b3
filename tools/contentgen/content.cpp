#include "content.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace cg {

DirectorySink::DirectorySink(std::string folder) : Folder(std::move(folder)) {
    std::filesystem::create_directories(Folder);
}

void DirectorySink::Put(const std::string& name, Bytes bytes) {
    for (const std::string& n : Written)
        if (n == name) throw std::runtime_error("content file written twice: " + name);
    std::filesystem::path path = std::filesystem::path(Folder) / name;
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) throw std::runtime_error("cannot create " + path.string());
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path.string());
    Written.push_back(name);
}

void MemorySink::Put(const std::string& name, Bytes bytes) {
    if (!Files.emplace(name, std::move(bytes)).second)
        throw std::runtime_error("content file written twice: " + name);
}

void PutJpeg(ContentSink& sink, const std::string& name, const Image& img, uint32_t ditherSeed) {
    sink.Put(name, EncodeJpeg(ToRgb8(img, ditherSeed), img.Width(), img.Height(), JpegQuality));
}

void PutAlphaJpeg(ContentSink& sink, const std::string& name, const Image& img, uint32_t ditherSeed) {
    sink.Put(name, EncodeJpeg(AlphaToRgb8(img, ditherSeed), img.Width(), img.Height(), JpegQuality));
}

void PutText(ContentSink& sink, const std::string& name, const std::string& text) {
    sink.Put(name, Bytes(text.begin(), text.end()));
}

std::string AlphaPictureName(const std::string& colourName) {
    size_t dot = colourName.find('.');
    if (dot == std::string::npos) return colourName + "A";
    return colourName.substr(0, dot) + "A" + colourName.substr(dot);
}

void ParallelFor(int count, const std::function<void(int)>& fn) {
    if (count <= 0) return;
    std::atomic<int> next{0};
    std::exception_ptr failure;
    std::atomic<bool> failed{false};
    auto worker = [&] {
        for (int i = next++; i < count && !failed; i = next++) {
            try {
                fn(i);
            } catch (...) {
                if (!failed.exchange(true)) failure = std::current_exception();
            }
        }
    };
    std::thread helper(worker);
    worker();
    helper.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace cg
