// The core's Emscripten loader, bundled in from the core's build folder.
declare module "qmt-core" {
  const createModule: (options: Record<string, unknown>) => Promise<unknown>;
  export default createModule;
}
