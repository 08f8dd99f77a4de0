#pragma once

#include <QImage>

namespace lumora
{

// The grid's fixed pictures, drawn rather than shipped so the control needs no
// files beside it: a folder (150 x 125), the placeholder shown while a
// thumbnail is pending (125 x 125, key "A"), and the picture of an image that
// could not be read.
struct ExplorePictures {
    static QImage folder();
    static QImage loading();
    static QImage cannotRead();
};

} // namespace lumora
