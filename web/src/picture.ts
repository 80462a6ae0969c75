// Reading a dropped file for the core.  The core takes every file by its
// name and bytes, except a JPEG picture when it has no decoder of its own:
// the browser decodes that one into plain RGB.
export interface DroppedFile {
  bytes?: Uint8Array;
  rgb?: Uint8Array;
  width?: number;
  height?: number;
  error?: string;
}

// The top left part of the display page is all a picture can cover.
const pageWidth = 640;
const pageHeight = 480;

// `check` is the core's look at the header, which refuses a picture too
// large to decode before the browser tries.
export async function readDroppedPicture(file: File, coreHasJpeg: () => boolean,
                                         check: (bytes: Uint8Array) => string | undefined): Promise<DroppedFile> {
  const lower = file.name.toLowerCase();
  const jpeg = lower.endsWith(".jpg") || lower.endsWith(".jpeg");
  let bytes: Uint8Array;
  try {
    bytes = new Uint8Array(await file.arrayBuffer());
  } catch {
    return { error: `「${file.name}」を読めません` };
  }
  if (!jpeg || coreHasJpeg()) return { bytes };
  const refused = check(bytes);
  if (refused) return { error: refused };
  try {
    // The file's own colour values, as a desktop decoder gives them; only
    // the part that reaches the page is kept.
    const bitmap = await createImageBitmap(new Blob([bytes as BlobPart]), {
      colorSpaceConversion: "none",
      premultiplyAlpha: "none",
    });
    const width = Math.min(bitmap.width, pageWidth);
    const height = Math.min(bitmap.height, pageHeight);
    const c = document.createElement("canvas");
    c.width = width;
    c.height = height;
    const g = c.getContext("2d")!;
    g.drawImage(bitmap, 0, 0);
    bitmap.close();
    const rgba = g.getImageData(0, 0, width, height).data;
    const rgb = new Uint8Array(width * height * 3);
    for (let i = 0, j = 0; i < rgba.length; i += 4, j += 3) {
      rgb[j] = rgba[i];
      rgb[j + 1] = rgba[i + 1];
      rgb[j + 2] = rgba[i + 2];
    }
    return { rgb, width, height };
  } catch {
    return { error: `「${file.name}」は読める画像ファイルではありません` };
  }
}
