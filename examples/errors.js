// What a script sees when a call fails: an Error with the result code (hresult) and the error
// code (code), here for a read-only property, an unknown name, an invalid colour, a class that
// is not registered.
//   pelmor script examples/errors.js
function attempt(what, f) {
  try {
    f();
    console.log(what + ": no error");
  } catch (e) {
    console.log(what + ": code " + e.code + ", hresult 0x" + e.hresult.toString(16).toUpperCase());
  }
}

var viewer = createObject("PELMOR.PelmorCtrl.2");
attempt("set ImageWidth", function () { viewer.ImageWidth = 10; });
attempt("read NoSuchProperty", function () { return viewer.NoSuchProperty; });
attempt("set NoSuchProperty", function () { viewer.NoSuchProperty = 1; });
attempt("set BackColor to an invalid colour", function () { viewer.BackColor = 0x90000000; });
attempt("call ShowImageN without its argument", function () { viewer.ShowImageN(); });
attempt("create Nobody.Nothing", function () { createObject("Nobody.Nothing"); });
// A first-generation control has no NImages.
var first = createObject("PELMOR.PelmorCtrl.1");
attempt("read NImages of the first control", function () { return first.NImages; });
