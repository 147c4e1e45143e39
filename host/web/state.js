// What the page has read from the host at start (/api, /api/help, /scenes)
// and the indexes built from it, shared by the views.

export const state = {
  api: null,
  help: new Map(),        // "plugin/function" or "plugin/type:Name" -> help record
  types: new Map(),       // type name -> {type, plugin}
  usedBy: new Map(),      // type name -> Set of "function:Name" / "type:Name"
  scenes: [],
};
