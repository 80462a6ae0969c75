// A build without giflib (the web build): animations are the native tools'
// business.
#include "host/page_animation.h"
#include "support/file_io.h"

namespace qmt {

std::string PageAnimation::EncodeGif() const {
  throw FileError("cannot encode GIF: this build writes no GIF pictures", "", FileError::Op::Encode);
}

void WriteAnimationGif(const std::string& path, const PageAnimation& animation) {
  WriteFileAtomic(path, animation.EncodeGif());
}

}  // namespace qmt
