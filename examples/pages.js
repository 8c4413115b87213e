// Walks the pages of a multi-page TIFF file and prints each page's size.
//   pelmor script examples/pages.js [IMAGE]
var image = host.args[0] || host.scriptDir + "/../samples/pages-mixed.tif";

var viewer = createObject("PELMOR.PelmorCtrl.2");
viewer.OpenImage(image, 0);
console.log(image.replace(/.*\//, ""), "has", viewer.NImages, "pages;",
            "animated:", viewer.SupportsAnimation);
for (var page = 0; page < viewer.NImages; ++page) {
  viewer.CurrentImage = page;
  console.log("page", viewer.CurrentImage + ":", viewer.ImageWidth + "x" + viewer.ImageHeight);
}
