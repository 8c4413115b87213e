// Opens an animated GIF, prints what the control knows about it, steps through its frames
// painting each one, and saves the last frame as a JPEG.
//   pelmor script examples/frames.js [OUTDIR] [IMAGE]
var outDir = host.args[0] || ".";
var image = host.args[1] || host.scriptDir + "/../samples/anim-disposal.gif";

var viewer = createObject("PELMOR.PelmorCtrl.2");
viewer.SlideShow = false;  // step the frames ourselves
viewer.FileName = image;
if (!viewer.IsOpen()) throw new Error("cannot open " + image);

console.log("file:", viewer.FileName);
console.log("size:", viewer.ImageWidth + "x" + viewer.ImageHeight);
console.log("frames:", viewer.NImages, "delay:", viewer.DelayTime + " ms",
            "animated:", viewer.SupportsAnimation);

host.resize(viewer, 140, 92);
for (var i = 0; i < viewer.NImages; ++i) {
  viewer.ShowImageN(i);
  host.paint(viewer, outDir + "/frame" + i + ".png");
  console.log("frame", viewer.CurrentImage, "painted");
}

viewer.CompressionRatio = 0.75;
var jpeg = outDir + "/last-frame.jpg";
console.log("saved", jpeg + ":", viewer.Save(jpeg));
