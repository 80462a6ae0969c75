// The browser's side of files: downloads, and the edited macro kept in the
// browser's storage so that it survives a reload.
export function download(blob: Blob, name: string) {
  const url = URL.createObjectURL(blob);
  const a = document.createElement("a");
  a.href = url;
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

// Storage may be switched off (private windows, some file: pages): the page
// then simply forgets edits on reload.
export function loadStored(key: string): string | null {
  try {
    return localStorage.getItem(key);
  } catch {
    return null;
  }
}

export function saveStored(key: string, text: string | null) {
  try {
    if (text === null) localStorage.removeItem(key);
    else localStorage.setItem(key, text);
  } catch {
    // Full or switched off: nothing to keep the edit in.
  }
}
