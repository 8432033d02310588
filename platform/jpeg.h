#pragma once
// JPEG pictures in memory through libjpeg-turbo: decoding for pictures and sheets, encoding
// for screenshots.
#include <QByteArray>
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

class EJpegError : public std::runtime_error {
  public:
    explicit EJpegError(const std::string& message) : std::runtime_error(message) {}
};

// The picture as QImage::Format_RGB32; damaged or unsupported data throws EJpegError.
QImage DecodeJpeg(const uint8_t* data, size_t size);
QImage DecodeJpeg(const QByteArray& data);
// Baseline JPEG of the picture (any format; alpha is dropped), quality 1..100.
std::vector<uint8_t> EncodeJpeg(const QImage& picture, int quality);
