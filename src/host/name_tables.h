// The host's name tables and the lookups through which the compiler resolves
// built-in functions, external values and constants.
//
// Names are compared whole, ignoring letter case as SameName does (the
// ASCII, full-width Latin, Greek and Cyrillic letters).  In a name=value line the name is
// the text before the first "=", exactly as written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qmt {

class TScript;

class NameTables {
 public:
  // The built-in tables and the default colour list.
  NameTables();

  // The lines of each table, code page 932.
  const std::vector<std::string>& FuncLabel() const { return funcLabel_; }
  const std::vector<std::string>& ExtValue() const { return extValue_; }
  const std::vector<std::string>& Constant() const { return constant_; }
  const std::vector<std::string>& ColorList() const { return colors_; }
  // Replaces the colour list (name=value lines); takes effect for the next
  // lookup.
  void SetColorList(std::vector<std::string> lines);
  // The colour list used when there is no colour file: 34 lines, the last
  // one empty.
  static std::vector<std::string> DefaultColorList();

  // Built-in number of `name` (its position in FuncLabel), or -1.
  int FunctionId(std::string_view name) const;
  // External id of `name` (its position in ExtValue), or -1.
  int ExternalId(std::string_view name) const;
  // Looks `name` up in Constant, then in the colour list; a line with an
  // empty value counts as not found.  The value text is evaluated as an
  // integer expression and truncated to 16 bits.  Returns false (leaving
  // `value` alone) when neither has it.  A value that does not evaluate
  // raises SilentAbort with the evaluator's message.
  bool ConstantValue(std::string_view name, std::int16_t& value) const;

  // Wires the compiler's OnConstLab, OnExtLabel and OnExtFunc to these
  // lookups and OnErrorMsg to `errorLog`, which receives each formatted
  // message.  The tables must outlive the script's use of them.
  void Bind(TScript& script, std::function<void(const std::string& message)> errorLog) const;

 private:
  // Hashing and equality that ignore letter case, so that lookups need no
  // folded copy of the name.
  struct FoldHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const;
  };
  struct FoldEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  template <typename T>
  using Index = std::unordered_map<std::string, T, FoldHash, FoldEqual>;

  // What a constant name stands for: the first line with that name decides.
  struct Entry {
    bool hasValue = false;
    std::int16_t value = 0;
    std::string error;  // non-empty when the value text does not evaluate
  };
  // The folded first bytes of an index's names: most identifiers of a macro
  // are its own variables, and this turns them away without hashing.
  struct FirstBytes {
    std::uint64_t bits[4] = {};
    template <typename T>
    void Fill(const Index<T>& index);
    bool MayHold(std::string_view name) const;
  };
  static Index<Entry> IndexValues(const std::vector<std::string>& lines);
  static Index<int> IndexNames(const std::vector<std::string>& lines);
  void MergeConstants();

  std::vector<std::string> funcLabel_, extValue_, constant_, colors_;
  Index<int> funcIndex_, extIndex_;
  Index<Entry> constantIndex_;
  // Constant, then the colour list, merged: one lookup per name.
  Index<Entry> constants_;
  FirstBytes funcFirst_, extFirst_, constantFirst_;
};

}  // namespace qmt
