/* consumer IMAGE: makes the second control through DllGetClassObject, sets FileName by Invoke and
 * prints NImages, then whether the module may be unloaded. */
#include <stdio.h>
#include <string.h>

#include <pelmor/pelmor.h>

static DISPID Id(IDispatch* d, const OLECHAR* name) {
  DISPID id = DISPID_UNKNOWN;
  d->lpVtbl->GetIDsOfNames(d, &IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

int main(int argc, char** argv) {
  static const OLECHAR kFileName[] = {'F', 'i', 'l', 'e', 'N', 'a', 'm', 'e', 0};
  static const OLECHAR kNImages[] = {'N', 'I', 'm', 'a', 'g', 'e', 's', 0};
  IClassFactory* factory = NULL;
  IDispatch* control = NULL;
  VARIANT value, result;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS setParams = {&value, &put, 1, 1};
  DISPPARAMS noParams = {NULL, NULL, 0, 0};
  OLECHAR path[4096];
  size_t i, n;
  HRESULT hr;

  if (argc != 2 || (n = strlen(argv[1])) >= 4096) return 2;
  for (i = 0; i <= n; ++i) path[i] = (unsigned char)argv[1][i]; /* ASCII paths */

  hr = DllGetClassObject(&CLSID_Pelmor2, &IID_IClassFactory, (void**)&factory);
  if (FAILED(hr)) return 1;
  hr = factory->lpVtbl->CreateInstance(factory, NULL, &IID_IDispatch, (void**)&control);
  factory->lpVtbl->Release(factory);
  if (FAILED(hr)) return 1;

  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(path);
  hr = control->lpVtbl->Invoke(control, Id(control, kFileName), &IID_NULL, LOCALE_USER_DEFAULT,
                               DISPATCH_PROPERTYPUT, &setParams, NULL, NULL, NULL);
  VariantClear(&value);
  if (FAILED(hr)) return 1;

  VariantInit(&result);
  hr = control->lpVtbl->Invoke(control, Id(control, kNImages), &IID_NULL, LOCALE_USER_DEFAULT,
                               DISPATCH_PROPERTYGET, &noParams, &result, NULL, NULL);
  if (FAILED(hr) || result.vt != VT_UI4) return 1;
  printf("NImages %u\n", (unsigned)result.ulVal);
  control->lpVtbl->Release(control);
  printf("DllCanUnloadNow %s\n", DllCanUnloadNow() == S_OK ? "S_OK" : "S_FALSE");
  return 0;
}
