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

export async function readDroppedPicture(file: File, coreHasJpeg: () => boolean): Promise<DroppedFile> {
  const lower = file.name.toLowerCase();
  const jpeg = lower.endsWith(".jpg") || lower.endsWith(".jpeg");
  let bytes: Uint8Array;
  try {
    bytes = new Uint8Array(await file.arrayBuffer());
  } catch {
    return { error: `「${file.name}」を読めません` };
  }
  if (!jpeg || coreHasJpeg()) return { bytes };
  try {
    // The file's own colour values, as a desktop decoder gives them.
    const bitmap = await createImageBitmap(new Blob([bytes as BlobPart]), {
      colorSpaceConversion: "none",
      premultiplyAlpha: "none",
    });
    const { width, height } = bitmap;
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
