// List: a singly linked list of owned texts with a built-in cursor.
#ifndef XRB_BASE_LIST_H
#define XRB_BASE_LIST_H

class List {
public:
    List();
    ~List();
    List(List const&) = delete;
    List& operator=(List const&) = delete;

    int addElem(char const* text); // appends a copy; returns 0
    void reset();                  // cursor to the head
    char* getItem() const;         // text at the cursor, or nullptr
    struct Node* next();           // advances the cursor; returns it
    int count() const { return count_; }

private:
    struct Node* head_;
    struct Node* current_;
    struct Node* tail_;
    int count_;
};

#endif
