#pragma once

#include <string>
#include <vector>

enum TOperation { opInsert, opRemove };

// Ownership tree of the program's objects. An owner frees the components it
// owns, last to first, when it is destroyed; a component that is destroyed
// first leaves its owner's list. Interested objects hear of both through
// Notification, so nobody keeps a pointer to a freed object.
//
// Notification(c, opRemove) arrives while c is being destroyed: compare the
// pointer, never call into it. A component given an owner must come from
// new: the owner deletes it.
class TComponent {
 public:
  explicit TComponent(TComponent* owner = nullptr);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  virtual void SetName(const std::string& name) { name_ = name; }
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // Index outside 0..ComponentCount-1 raises EListError.
  TComponent* Components(int index) const;
  // The first owned component with that name (ASCII case ignored), or null.
  TComponent* FindComponent(const std::string& name) const;

  // Takes `component` over from its previous owner, if any.
  void InsertComponent(TComponent* component);
  // Gives `component` up without freeing it; it then has no owner.
  void RemoveComponent(TComponent* component);
  // Frees every owned component, last to first.
  void DestroyComponents();

  // Ask to hear (through Notification opRemove) when `component` is
  // destroyed, whoever owns it. The tie works both ways and ends with either.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  // True from the moment the destructor of TComponent starts.
  bool Destroying() const { return destroying_; }

 protected:
  // Default: passes the news on to every owned component, so siblings learn
  // of one another too. Overrides call the base.
  virtual void Notification(TComponent* component, TOperation operation);

 private:
  void Attach(TComponent* component);
  void Detach(TComponent* component);
  void Unlink(TComponent* component);

  TComponent* owner_ = nullptr;
  std::string name_;
  int tag_ = 0;
  bool destroying_ = false;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
};
