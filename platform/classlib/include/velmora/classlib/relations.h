#pragma once
// RelationManager: a data file with the files related to it. It opens and
// closes the file together with its related files, and carries changes of
// a parent's link fields and deletes of a parent down to the children
// (cascade), inside one transaction when transactions are on.
#include <functional>
#include <string>
#include <vector>

#include "velmora/classlib/filemanager.h"
#include "velmora/runtime/errors.h"

namespace cl {

// Referential-integrity mode of a relation's update or delete.
enum class RIMode { None, Cascade };

// One link of a parent-to-child relation: the parent's field and the
// child's field it must equal ("FOR:ID", "PDF:ID").
struct Link {
  std::string parentField;
  std::string childField;
};

class RelationManager {
 public:
  RelationManager();
  virtual ~RelationManager();
  RelationManager(const RelationManager&) = delete;
  RelationManager& operator=(const RelationManager&) = delete;

  // The base set-up: the file manager and whether cascades use transactions.
  void Setup(FileManager* file, bool transactions);
  virtual void Teardown();
  // Declares the relations; run once, on first use.
  virtual void AddRelations() {}
  void SetRelationsDeclared(bool declared) { declared_ = declared; }
  bool RelationsDeclared() const { return declared_; }
  void EnsureRelations();

  // A child relation through the child's key `childKey` (1-based), whose
  // leading components are the links' child fields.
  void AddRelation(RelationManager* child, RIMode update, RIMode del, int childKey,
                   std::vector<Link> links);
  // The link back to the parent file (for opening together; no modes).
  void AddParent(RelationManager* parent);

  // An alias manager shares the aliased manager's relations.
  void SetAlias(RelationManager* aliased) { alias_ = aliased; }
  RelationManager* AliasOf() const { return alias_; }

  FileManager* Me() const { return me_; }

  // Opens the file and, through the relations, every file related to it
  // directly or indirectly. A failure closes what this call opened.
  int Open();
  // Closes what the matching Open opened.
  int Close();

  // Writes back the record last read; when a parent link field changed,
  // the children follow (cascade).
  int Update();
  int TryUpdate();
  // Deletes the record last read with its children, their children, ...
  int Delete();
  int TryDelete();

 private:
  struct Relation {
    RelationManager* related = nullptr;
    bool parent = false;
    RIMode update = RIMode::None;
    RIMode del = RIMode::None;
    int key = 0;
    std::vector<std::pair<int, int>> fields;  // parent, child field indexes
  };
  const std::vector<Relation>& Relations();
  void OpenGraph(std::vector<RelationManager*>& seen, std::vector<FileManager*>& opened,
                 int& level, rt::ErrorSnapshot& firstError);
  void CascadeFiles(bool forDelete, std::vector<FileManager*>& files);
  bool LinksChanged(const Relation& r, const std::vector<uint8_t>& oldRec) const;
  // Record positions of the children of `parentRec` through `r`.
  int Children(const Relation& r, const uint8_t* parentRec, std::vector<std::string>& out);
  // Reads each child of `parentRec` in turn and runs `step` on it; the
  // child's buffer is put back afterwards.
  int EachChild(const Relation& r, const uint8_t* parentRec, FileManager*& failed,
                const std::function<int()>& step);
  int DeleteWithChildren(FileManager*& failed);
  int UpdateWithChildren(FileManager*& failed);
  int Cascade(bool forDelete, bool report);

  FileManager* me_ = nullptr;
  RelationManager* alias_ = nullptr;
  bool transactions_ = false;
  bool declared_ = false;
  std::vector<Relation> relations_;
  std::vector<std::vector<FileManager*>> opened_;
};

}  // namespace cl
