// TextureSourcesRecord: what a compiled texture was compiled from.
//
// A file's time cannot tell whether a compiled texture still shows its
// pictures: a picture copied with its time kept (`cp -p`, an unpacked
// archive, `rsync -t`) may be older than the texture compiled from the
// picture it replaced. So the converter writes into each compiled texture,
// after its images, the record of the inputs it read
// (docs/formats/compiled-texture.md), and a compiled texture is taken as
// up to date only while the record of its sources as they are now is the
// same text.
//
// The record is text: a first line "texture sources 1", then one line for
// the texture source itself and one for each picture the conversion reads,
// "<role> <crc> <bytes>[ <name>]":
//
//   texture sources 1
//   source 6f1d03a2 33
//   primary 1b8e6c0f 49206 body.bmp
//   alpha 0c5a91e7 16438 body_alpha.bmp
//
// role is "source", "primary" or "alpha"; crc the CRC-32 of the file's
// bytes (foundation/text/Crc32.h) as 8 lower-case hex digits; bytes its
// length in decimal; name (pictures only) the picture's path relative to
// the source's folder as the file system spells it. The pictures are those
// the converter takes (kiv/display/AsciiTextureResource.h): the last
// "Primary" value and the last "Alpha" value of the source (an empty Alpha
// names none), found relative to the source's folder ("\" as "/", without
// regard to case). Each line ends in "\n".
//
// DescribeTextureSources(sourcePath, record): the record of the source at
// `sourcePath` and its pictures as they are now.
//   kDescribed       `*record` holds it;
//   kPictureMissing  a picture it names is not there, or its name leads out
//                    of the source's folder (a conversion would fail);
//   kUnreadable      the source is not a readable regular file of at most
//                    kMaxSourceBytes, names no primary picture, or a picture
//                    it names is there but is no readable regular file.
// `*record` is empty unless kDescribed. Files are opened without blocking
// (a pipe in a picture's place is refused, not waited on) and read whole.
//
// ReadCompiledTextureRecord(compiledPath, record): the record a compiled
// texture holds: the bytes after its last level, when the file is a
// compiled texture whose layout reads (the "KIRF" size matches the file,
// every level fits) and they are at most kMaxRecordBytes and begin with
// the record's first line. False (`*record` empty) otherwise, also for a
// texture without a record (written by an older build).
//
// CompiledTextureRecordOffset(readAt, size, offset): the walk behind it on
// any bytes: `readAt(at, out, n)` copies n bytes at offset `at` of a file of
// `size` bytes (false when it cannot); `*offset` is where the bytes after
// the last level begin. False when the layout does not read.
//
// Pure functions of the files; safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

constexpr size_t kMaxTextureSourceBytes = 1u << 20;
constexpr size_t kMaxTextureRecordBytes = 64u * 1024u;

enum class TextureSourcesState { kDescribed, kPictureMissing, kUnreadable };

TextureSourcesState DescribeTextureSources(const std::string& sourcePath, std::string* record);
bool ReadCompiledTextureRecord(const std::string& compiledPath, std::string* record);

using TextureReadAt = std::function<bool(uint64_t at, void* out, size_t n)>;
bool CompiledTextureRecordOffset(const TextureReadAt& readAt, uint64_t size, uint64_t* offset);
