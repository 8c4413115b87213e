// Prints the texts an image file carries, and shows that names are not case-sensitive.
//   pelmor script examples/metadata.js [IMAGE]
var image = host.args[0] || host.scriptDir + "/../samples/rose-titled.png";

var viewer = createObject("pelmor.pelmorctrl.2");
viewer.filename = image;
console.log("open:", viewer.isopen());
console.log("DocumentName:", JSON.stringify(viewer.DocumentName));
console.log("ImageDescription:", JSON.stringify(viewer.ImageDescription));
console.log("ImageCopyright:", JSON.stringify(viewer.ImageCopyright));
console.log("Software:", JSON.stringify(viewer.Software));
