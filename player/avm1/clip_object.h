// The script face of a movie clip (or of a button, SWF 6 and later): its variables, its display properties
// (_x, _alpha, ...), its children by instance name, and the MovieClip (Button) methods through the
// prototype. Holds the object weakly: a removed one leaves a dead reference whose properties read as
// undefined.
#pragma once

#include <memory>
#include <string>

#include "player/avm1/object.h"

namespace player {
class MovieClip;
class DisplayObject;
}  // namespace player

namespace player::avm1 {

class ClipObject : public Object {
  public:
    ClipObject(Vm& vm, Object* proto, DisplayObject* obj);
    ClipObject* asClip() override { return this; }
    const char* typeOf() const override { return isButton_ ? "object" : "movieclip"; }

    // The clip; null for a button or once the object is gone.
    MovieClip* clip() const;
    DisplayObject* display() const;
    bool isButton() const { return isButton_; }
    ClipObject* parentClip() const;
    ClipObject* root() const;
    ClipObject* childByName(Vm& vm, const std::string& name) const;
    // "_level0.a.b" (dot syntax) and "/a/b" (slash syntax).
    std::string targetPath() const;
    std::string slashPath() const;

    bool getOwn(Vm& vm, const std::string& name, Object* self, Value& out) override;
    void set(Vm& vm, const std::string& name, const Value& value) override;
    bool hasOwn(Vm& vm, const std::string& name) override;

    // Display properties by the GetProperty/SetProperty index (0 _x .. 21 _ymouse).
    Value getProperty(Vm& vm, int index);
    void setProperty(Vm& vm, int index, const Value& v);
    // Index of a display property name ("_x" -> 0), or -1.
    static int propertyIndex(const std::string& name);

  private:
    Vm* vm_;
    std::weak_ptr<DisplayObject*> handle_;
    std::string lastPath_;
    bool isButton_ = false;
};

// The script object of a clip or button, made on first use.
ClipObject* scriptObjectOf(Vm& vm, MovieClip* clip);
ClipObject* scriptObjectOf(Vm& vm, DisplayObject* obj);

}  // namespace player::avm1
