.pragma library

// The first item at or below `item` (depth first) that `predicate` accepts, or null. Popups keep
// their content outside `children`, so an item without children is searched through `contentItem`.
function findItem(item, predicate) {
    if (predicate(item))
        return item
    const children = item.contentItem && item.contentItem !== item && item.children.length === 0
                     ? [item.contentItem] : item.children
    for (let i = 0; i < children.length; ++i) {
        const found = findItem(children[i], predicate)
        if (found)
            return found
    }
    return null
}

// Every item at or below `item` that `predicate` accepts, top to bottom on screen.
function findAll(item, predicate) {
    const found = []
    const visit = (node) => {
        if (predicate(node))
            found.push(node)
        for (let i = 0; i < node.children.length; ++i)
            visit(node.children[i])
    }
    visit(item)
    return found.sort((a, b) => a.mapToItem(null, 0, 0).y - b.mapToItem(null, 0, 0).y)
}
