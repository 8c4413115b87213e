// Qt's QImageReader as a peer in every format section whose format Qt reads here (its built-in
// readers and the image format plugins installed): by default as a Qt user calls it (read() into
// a QImage Qt allocates), and like-for-like, read(QImage*) into an image whose pixels are already
// in memory from our allocator, of the size and pixel format the reader announces (the readers
// keep such an image's memory; one that does not announce its format only runs by default).
#include <QImage>
#include <QImageReader>

#include "bench.h"

namespace pelmor::bench {

namespace {

bool QtReads(const char* format) {
  static const QList<QByteArray> formats = QImageReader::supportedImageFormats();
  return formats.contains(QByteArray(format));
}

size_t ReadByDefault(const QString& path, bool allImages) {
  QImageReader reader(path);
  size_t produced = 0;
  do {
    const QImage image = reader.read();
    if (image.isNull()) return 0;
    produced += static_cast<size_t>(image.sizeInBytes());
  } while (allImages && reader.canRead());
  return produced;
}

// QImage's own row length: whole 32-bit words.
qsizetype RowBytes(int width, int depth) { return ((qsizetype{width} * depth + 31) / 32) * 4; }

size_t ReadIntoOurs(const QString& path, bool allImages) {
  QImageReader reader(path);
  const QSize size = reader.size();
  const QImage::Format format = reader.imageFormat();
  if (!size.isValid() || format == QImage::Format_Invalid) return 0;
  const int depth = QImage(1, 1, format).depth();
  const qsizetype rowBytes = RowBytes(size.width(), depth);
  OutputBuffer buffer(static_cast<size_t>(rowBytes) * static_cast<size_t>(size.height()),
                      Memory::kOurs);
  if (!buffer) return 0;
  QImage image(buffer.Data(), size.width(), size.height(), rowBytes, format);
  size_t produced = 0;
  do {
    if (!reader.read(&image)) return 0;
    produced += static_cast<size_t>(image.sizeInBytes());
  } while (allImages && reader.canRead());
  return produced;
}

std::optional<Peer> QtReaderPeer(const char* format, const std::string& path, bool allImages) {
  if (!QtReads(format)) return std::nullopt;
  const QString file = QString::fromStdString(path);
  Peer peer{"QImageReader", [file, allImages] { return ReadByDefault(file, allImages); }, {}};
  const QImageReader probe(file);
  if (probe.imageFormat() != QImage::Format_Invalid && probe.size().isValid()) {
    peer.likeForLike = [file, allImages] { return ReadIntoOurs(file, allImages); };
  }
  return peer;
}

const PeerSourceEntry kQtReader(QtReaderPeer);

}  // namespace

}  // namespace pelmor::bench
